#include "host/detached_thread.h"

#include <pthread.h>

#include <memory>

namespace kavi {
namespace {

void* RunBody(void* owned) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(owned));
  (*body)();
  return nullptr;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_t thread;
  const bool started = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                       pthread_create(&thread, &attributes, RunBody, owned.get()) == 0;
  pthread_attr_destroy(&attributes);
  if (started) owned.release();  // the thread owns it now
  return started;
}

}  // namespace kavi

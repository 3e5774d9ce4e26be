// The exports of xldl.dll. Handles given to the program are task objects
// kept in a registry, so a stale or foreign handle is refused instead of
// followed.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

#include "download/engine_api.h"
#include "download/file_names.h"
#include "engine/download_task.h"
#include "engine/file_storage_win32.h"
#include "engine/wininet_client_win32.h"

namespace kavi {
namespace engine {
namespace {

struct Engine {
  std::mutex mutex;
  std::set<DownloadTask*> tasks;
  WinInetClients clients;
  RateLimiter limiter;
};

Engine& TheEngine() {
  static Engine* engine = new Engine;  // lives as long as the process
  return *engine;
}

// The task behind a handle, or null.
DownloadTask* Lookup(EngineHandle handle) {
  Engine& e = TheEngine();
  std::lock_guard<std::mutex> lock(e.mutex);
  auto it = e.tasks.find(static_cast<DownloadTask*>(handle));
  return it == e.tasks.end() ? nullptr : *it;
}

bool ReadRequest(const DownloadTaskRequest* request, std::wstring* url, std::wstring* folder,
                 std::wstring* name) {
  if (!request) return false;
  *url = GetRecordText(request->url);
  *folder = GetRecordText(request->saveFolder);
  *name = GetRecordText(request->fileName);
  while (!folder->empty() && (folder->back() == L'\\' || folder->back() == L'/')) {
    folder->pop_back();
  }
  // The engine writes only inside the save folder.
  return !url->empty() && !folder->empty() && IsPlainFileName(*name);
}

void FillStatus(const TaskProgress& p, DownloadTaskStatus* status) {
  std::memset(status, 0, sizeof(*status));
  status->state = p.state;
  status->failureCode = p.failureCode;
  SetStatusFileName(status, p.savedName);
  status->totalSize = p.totalSize;
  status->downloaded = p.downloaded;
  status->fraction = p.fraction;
  status->speed = p.speed;
  status->counters64[0] = p.received;  // bytes taken from the network by this task
  status->counters32[0] = p.connections;
}

}  // namespace
}  // namespace engine
}  // namespace kavi

using namespace kavi;
using namespace kavi::engine;

extern "C" {

int32_t __stdcall XL_Init() {
  TheEngine();
  // Several connections to one server at once (old WinINet allows two):
  // room for a task's most and the lines about to close.
  DWORD connections = 32;
  InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                     sizeof(connections));
  InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                     sizeof(connections));
  return 1;
}

int32_t __stdcall XL_UnInit() {
  Engine& e = TheEngine();
  std::set<DownloadTask*> tasks;
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    tasks.swap(e.tasks);
  }
  for (DownloadTask* task : tasks) delete task;
  return 1;
}

EngineHandle __stdcall XL_CreateTask(const DownloadTaskRequest* request) {
  std::wstring url, folder, name;
  if (!ReadRequest(request, &url, &folder, &name)) return nullptr;
  Engine& e = TheEngine();
  auto* task = new DownloadTask(url, name, request->resume != 0, CreateFileStorage(folder, name),
                                &e.clients, &e.limiter);
  std::lock_guard<std::mutex> lock(e.mutex);
  e.tasks.insert(task);
  return task;
}

int32_t __stdcall XL_DeleteTask(EngineHandle handle) {
  Engine& e = TheEngine();
  DownloadTask* task = nullptr;
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    auto it = e.tasks.find(static_cast<DownloadTask*>(handle));
    if (it == e.tasks.end()) return 0;
    task = *it;
    e.tasks.erase(it);
  }
  delete task;  // stops it; the partial data stays for a later resume
  return 1;
}

int32_t __stdcall XL_StartTask(EngineHandle handle) {
  DownloadTask* task = Lookup(handle);
  if (!task) return 0;
  task->Start();
  return 1;
}

int32_t __stdcall XL_StopTask(EngineHandle handle) {
  DownloadTask* task = Lookup(handle);
  if (!task) return 0;
  task->Stop();
  return 1;
}

int32_t __stdcall XL_QueryTaskInfoEx(EngineHandle handle, DownloadTaskStatus* status) {
  DownloadTask* task = Lookup(handle);
  if (!task || !status) return 0;
  FillStatus(task->Progress(), status);
  return 1;
}

int32_t __stdcall XL_QueryTaskInfo(EngineHandle handle, DownloadTaskStatus* status) {
  return XL_QueryTaskInfoEx(handle, status);
}

void __stdcall XL_SetSpeedLimit(int32_t kilobytesPerSecond) {
  TheEngine().limiter.SetLimit(kilobytesPerSecond > 0 ? int64_t{kilobytesPerSecond} * 1024 : 0);
}

void __stdcall XL_SetUserAgent(const wchar_t* userAgent) {
  if (userAgent && *userAgent) TheEngine().clients.SetUserAgent(userAgent);
}

int32_t __stdcall XL_DelTempFile(const DownloadTaskRequest* request) {
  std::wstring url, folder, name;
  if (!request) return 0;
  folder = GetRecordText(request->saveFolder);
  name = GetRecordText(request->fileName);
  if (folder.empty() || !IsPlainFileName(name)) return 0;
  return DeletePartialFiles(folder, name) ? 1 : 0;
}

int32_t __stdcall XL_GetFileSizeWithUrl(const wchar_t* url, int64_t* size) {
  if (!url || !size) return 0;
  std::unique_ptr<HttpClient> client = TheEngine().clients.Create();
  HttpHead head;
  std::unique_ptr<HttpStream> stream = client->Get(url, 0, -1, &head);
  if (!stream) return 0;
  *size = head.status == 206 ? head.rangeTotal : head.contentLength;
  return *size >= 0 ? 1 : 0;
}

}  // extern "C"

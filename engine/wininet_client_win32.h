// The engine's transport over WinINet (HTTP and HTTPS).
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "engine/http_client.h"

namespace kavi {
namespace engine {

class WinInetClients : public HttpClientFactory {
 public:
  std::unique_ptr<HttpClient> Create() override;
  void SetUserAgent(const std::wstring& agent);
  // How long a request may stay silent (no head, no byte) before it counts
  // as broken; WinINet's own receive timeout is the same.
  void SetStallLimit(std::chrono::milliseconds limit);

 private:
  std::mutex mutex_;
  std::wstring userAgent_ = L"Mozilla/4.0 (compatible; Kavi)";
  std::chrono::milliseconds stallLimit_{30000};
};

}  // namespace engine
}  // namespace kavi

// The engine's transport over WinINet (HTTP and HTTPS).
#pragma once

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

 private:
  std::mutex mutex_;
  std::wstring userAgent_ = L"Mozilla/4.0 (compatible; Kavi)";
};

}  // namespace engine
}  // namespace kavi

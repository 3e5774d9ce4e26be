// The transport seam of the engine: ranged HTTP GETs. The Windows engine
// implements it with WinINet; tests substitute an in-memory server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kavi {
namespace engine {

// What the response head says.
struct HttpHead {
  int status = 0;              // 0 when no response arrived (network error)
  int64_t contentLength = -1;  // -1 unknown
  int64_t rangeFirst = -1;     // from Content-Range, -1 when absent
  int64_t rangeTotal = -1;     // the "/total" of Content-Range, -1 unknown
  std::string validator;       // ETag and Last-Modified, to notice a changed file
  // The address that answered after the redirects the client followed;
  // empty when the client does not know it.
  std::wstring finalUrl;
  // No response because the client refused the server's certificate:
  // asking again gets the same certificate.
  bool untrusted = false;
};

class HttpStream {
 public:
  virtual ~HttpStream() = default;
  // The next piece of the body, where the client received it, so it can go
  // to the file without another copy. `*data` stays valid until the next
  // call or the stream's end. Returns its size (> 0), 0 at the end of the
  // body, < 0 on a broken connection.
  virtual int64_t Next(const char** data) = 0;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // GET `url` asking for bytes [first, last] (last < 0: to the end; first 0
  // and last < 0: the whole file, still as a range request so the answer
  // tells whether ranges work). Returns the body stream, or null with
  // `head->status` telling why (0: no answer).
  virtual std::unique_ptr<HttpStream> Get(const std::wstring& url, int64_t first, int64_t last,
                                          HttpHead* head) = 0;
  // Called from another thread: makes every pending and later call of this
  // client fail promptly.
  virtual void Abort() = 0;
};

class HttpClientFactory {
 public:
  virtual ~HttpClientFactory() = default;
  virtual std::unique_ptr<HttpClient> Create() = 0;
};

}  // namespace engine
}  // namespace kavi

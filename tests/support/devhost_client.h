// Windows-side tests talk to a development service host of their own
// (tools/devhost/devhost.py). CTest starts it on a free port around the test
// executable ("devhost.py run", see kavi_add_tests SERVICE_HOST) and passes
// where it is in the environment:
//   KAVI_DEVHOST_URL     http://127.0.0.1:PORT
//   KAVI_DEVHOST_WINDIR  its state folder as a Wine path (Z:\...), holding
//                        files\ (what it serves), rules.json (per-path
//                        answers and faults) and stats.log (statistics
//                        requests as received).
#pragma once

#include <string>
#include <vector>

namespace kavi {

class DevHost {
 public:
  // Empty URL when the environment does not name a host.
  DevHost();
  bool Available() const { return !url_.empty(); }
  const std::wstring& BaseUrl() const { return url_; }
  std::wstring Url(const std::wstring& path) const { return url_ + path; }
  // The same files over TLS with a certificate no client trusts; empty
  // when the host could not make one.
  std::wstring UntrustedUrl(const std::wstring& path) const {
    return untrustedUrl_.empty() ? std::wstring() : untrustedUrl_ + path;
  }

  // Serves `bytes` at `path` ("/kavi/banben.txt").
  bool PutFile(const std::wstring& path, const std::string& bytes) const;
  // Replaces every rule: a JSON object {"PATH": {"status": 404, ...}}.
  bool SetRules(const std::string& json) const;
  // The statistics requests so far, one request target per line.
  std::vector<std::string> StatsLog() const;
  void ClearStatsLog() const;
  // How many requests for `path` the host has answered so far.
  int RequestCount(const std::string& path) const;

 private:
  std::wstring url_;
  std::wstring untrustedUrl_;
  std::wstring folder_;
};

}  // namespace kavi

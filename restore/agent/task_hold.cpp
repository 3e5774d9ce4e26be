#include "restore/agent/task_hold.h"

#include <cstdlib>
#include <map>

namespace kavi {
namespace restore {
namespace {

constexpr const char* kHead = "KAVI-HOLD 1";
constexpr const char* kEnd = "end=1";

bool ParseNumber(const std::string& text, uint64_t* out) {
  if (text.empty() || text.size() > 20) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *out = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

}  // namespace

std::string HoldRecordText(const HoldRecord& record) {
  return std::string(kHead) + "\r\ndisk=" + record.disk +
         "\r\nstart=" + std::to_string(record.start) +
         "\r\nlength=" + std::to_string(record.length) + "\r\nlabel=" + record.label +
         "\r\nloader=" + (record.loader ? "1" : "0") + "\r\n" + kEnd + "\r\n";
}

std::optional<HoldRecord> ParseHoldRecord(const std::string& text) {
  std::map<std::string, std::string> fields;
  bool head = false, end = false;
  size_t at = 0;
  while (at < text.size()) {
    size_t eol = text.find("\r\n", at);
    if (eol == std::string::npos) return std::nullopt;  // the last line is cut
    const std::string line = text.substr(at, eol - at);
    at = eol + 2;
    if (!head) {
      if (line != kHead) return std::nullopt;
      head = true;
      continue;
    }
    if (line == kEnd) {
      end = true;
      break;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  HoldRecord r;
  if (!end || fields["disk"].empty() || !ParseNumber(fields["start"], &r.start) ||
      !ParseNumber(fields["length"], &r.length) || r.length == 0) {
    return std::nullopt;
  }
  r.disk = fields["disk"];
  r.label = fields["label"];
  r.loader = fields["loader"] == "1";
  return r;
}

}  // namespace restore
}  // namespace kavi

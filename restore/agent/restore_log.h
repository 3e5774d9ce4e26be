// One boot's entry of DURozazo/restore.log (UTF-8, LF): a header line with
// the time, what was found and decided, what was done, and always a result
// line last. The Windows side reads the last entry's result back.
#pragma once

#include <string>
#include <vector>

#include "restore/agent/failure.h"

namespace kavi {
namespace restore {

class RestoreLog {
 public:
  // `timestamp`: "2026-12-08 03:12:45".
  explicit RestoreLog(const std::string& timestamp);

  void Add(const std::string& line);  // "found: ...", "decided: ...", "done: ..."

  // Ends the entry; later calls change nothing.
  void Finish(const Refusal& outcome, long seconds);

  bool finished() const { return finished_; }
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
  bool finished_ = false;
};

// "result: ok 58 s" / "result: failed image-corrupt: the image ..."
std::string ResultLine(const Refusal& outcome, long seconds);

}  // namespace restore
}  // namespace kavi

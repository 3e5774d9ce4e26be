#include "restore/agent/restore_log.h"

namespace kavi {
namespace restore {
namespace {

// A line break inside a detail would start a line the reader takes for an
// entry line of its own.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

RestoreLog::RestoreLog(const std::string& timestamp) {
  lines_.push_back("== kavi restore " + timestamp);
}

void RestoreLog::Add(const std::string& line) {
  if (!finished_) lines_.push_back(OneLine(line));
}

void RestoreLog::Finish(const Refusal& outcome, long seconds) {
  if (finished_) return;
  lines_.push_back(ResultLine(outcome, seconds));
  finished_ = true;
}

std::string RestoreLog::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\n";
  return text;
}

std::string ResultLine(const Refusal& outcome, long seconds) {
  if (!outcome.failed()) return "result: ok " + std::to_string(seconds) + " s";
  return "result: failed " + std::string(FailureCode(outcome.failure)) + ": " +
         OneLine(outcome.detail);
}

}  // namespace restore
}  // namespace kavi

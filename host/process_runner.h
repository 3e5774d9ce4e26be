// The one process runner: starts a command line in a hidden console of its
// own and waits for it without a time limit. Success means only that the
// process could be started; its exit code is not read.
#pragma once

#include <string>

namespace kavi {

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  virtual bool RunHiddenAndWait(const std::wstring& commandLine) = 0;
};

// The Windows runner (CreateProcessW with a hidden new console).
ProcessRunner& SystemProcessRunner();

// Shorthand for SystemProcessRunner().RunHiddenAndWait.
bool RunHiddenAndWait(const std::wstring& commandLine);

}  // namespace kavi

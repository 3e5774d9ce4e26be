// Start-up marks for profiling the way to the first painted window. With the
// environment variable KAVI_STARTUP_TRACE naming a file, every mark appends
// "<ms since the process was created> <what>" to it; without the variable a
// mark costs one test of a flag.
#pragma once

namespace kavi {

void StartupMark(const char* what);

}  // namespace kavi

// The boot takeover's part of the working-path set-up: the four boot tools
// written from the executable's resources into the tools folder, then the
// takeover settings taken from the working state. The program passes
// SystemBootSetUp() to SetUpWorkingPaths.
#pragma once

#include "boot/boot_machine.h"
#include "host/working_paths.h"

namespace kavi {

// bcdedit.exe (137), dspt.exe (142), bcdboot.exe (143) and bcdsect.exe
// (144), each created anew; failures surface when a takeover checks for the
// tools. True when all four were written.
bool WriteBootTools(BootFiles& files, PayloadResources& resources, const WorkingFields& fields);

class BootTakeoverSetUp : public BootSetUp {
 public:
  BootTakeoverSetUp(BootFiles& files, PayloadResources& resources)
      : files_(files), resources_(resources) {}
  void WriteBootTools(const WorkingFields& fields) override;
  void InitBootSettings(const WorkingFields& fields) override;

 private:
  BootFiles& files_;
  PayloadResources& resources_;
};

// With this machine's files and this executable's resources (Win32 build).
BootSetUp& SystemBootSetUp();

}  // namespace kavi

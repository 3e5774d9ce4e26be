// The start-up check's verdict and what the start button says about it.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace kavi {

enum StartupStatus : int {
  kStartupPending = -1,
  kStartupReady = 0,
  kStartupServiceUnreachable = 1,
  kStartupSinglePartition = 2,
  kStartupGptDisk = 3,
  // No road for other reasons than a GPT disk on BIOS.
  kStartupFirmwareNotX64 = 4,
  kStartupLoaderNotTrusted = 5,
};

// Written once by the start-up thread, read by the start button.
std::atomic<int>& StartupStatusValue();

// First match wins: no boot road for this machine (`roadStatus`, the
// refusal's status, or kStartupReady when a road exists), no catalogue, no
// partition besides the system's, else ready.
int DecideStartupStatus(int roadStatus, bool catalogueFetched, wchar_t workDrive,
                        wchar_t systemDrive);

// Message box flags the program uses (the values of the Windows constants).
constexpr unsigned kBoxOk = 0x0;
constexpr unsigned kBoxOkCancel = 0x1;
constexpr unsigned kBoxYesNo = 0x4;
constexpr unsigned kBoxIconWarning = 0x30;

struct UserMessage {
  const wchar_t* text;
  const wchar_t* caption;
  unsigned flags;
};

// The start button's message for every status but Ready.
UserMessage InstallRefusal(int status);

std::wstring UpdateQuestion(const std::wstring& latestVersion);

// The text of btnselectandnext while the list page counts down.
std::wstring CountdownText(int seconds);

// The row the list page turns on: the recommended catalogue position, or
// -1 when the catalogue is too short to have it (the selection then stays).
int PreselectedRow(bool largeMemory, size_t entryCount);

// A catalogue text as a list row shows it: at most `limit` characters, the
// cut marked with "...", so a field of megabytes costs nothing to draw.
std::wstring RowText(const std::wstring& text, size_t limit);
constexpr size_t kRowTitleLimit = 100;
constexpr size_t kRowDetailLimit = 500;

// The seams of the start-up thread's sequence.
class StartupSteps {
 public:
  virtual ~StartupSteps() = default;
  // True when the published version differs; `latest` receives it.
  virtual bool NewVersionOffered(std::wstring* latest) = 0;
  virtual bool AskYesNo(const std::wstring& text, const wchar_t* caption) = 0;
  // True when the updater was started.
  virtual bool LaunchUpdate() = 0;
  // Waits a second and ends the process (the accepted update).
  virtual void ExitForUpdate() = 0;
  virtual void ReportStart() = 0;
  // Whether a road can take this machine over (boot/firmware.h):
  // kStartupReady, else kStartupGptDisk (a GPT system disk on BIOS),
  // kStartupFirmwareNotX64 or kStartupLoaderNotTrusted (Secure Boot on while
  // its db does not trust our loader). A UEFI machine with a GPT disk is no
  // refusal.
  virtual int BootRoadStatus() = 0;
  virtual bool FetchCatalogue() = 0;
  virtual wchar_t ChooseWorkDrive() = 0;
  virtual wchar_t SystemDrive() = 0;
};

// The start-up thread's work: update offer, start report, then the verdict.
int RunStartupCheck(StartupSteps& steps);

}  // namespace kavi

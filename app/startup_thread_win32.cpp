#include "app/startup_thread_win32.h"

#include <memory>

#include "app/app_messages.h"
#include "app/startup_check.h"
#include "app/startup_trace_win32.h"
#include "app/tool_tiles_win32.h"
#include "boot/boot_machine.h"
#include "boot/boot_payloads.h"
#include "boot/disk_map.h"
#include "boot/firmware.h"
#include "host/background_setup_win32.h"
#include "host/working_paths.h"
#include "online/catalogue.h"
#include "online/statistics.h"
#include "online/version_check.h"

namespace kavi {
namespace {

// Manual reset, set by AllowUpdateQuestion. Without it (no event to be had)
// the question is asked at once.
HANDLE UpdateQuestionAllowed() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

class Win32StartupSteps : public StartupSteps {
 public:
  explicit Win32StartupSteps(HWND window) : window_(window) {}

  bool NewVersionOffered(std::wstring* latest) override {
    if (!CheckForNewVersion()) return false;
    *latest = Working().GetLatestVersion();
    return true;
  }
  bool AskYesNo(const std::wstring& text, const wchar_t* caption) override {
    if (UpdateQuestionAllowed()) WaitForSingleObject(UpdateQuestionAllowed(), INFINITE);
    return MessageBoxW(window_, text.c_str(), caption, MB_YESNO) == IDYES;
  }
  bool LaunchUpdate() override { return kavi::LaunchUpdate(); }
  void ExitForUpdate() override {
    Sleep(1000);
    ExitProcess(0);
  }
  void ReportStart() override {
    CreateStatsContext();
    kavi::ReportStart();
  }
  int BootRoadStatus() override {
    // The signatures Secure Boot checks are those of the shim we carry, the
    // SBAT generations those of the shim and its GRUB.
    PayloadResources& resources = SystemPayloadResources();
    switch (DecideBootRoad(SystemFirmwareFacts(), IsGptVolume(Working().SystemDrive()),
                           CarriedEfiFile(resources, kPayloadResourceType, kEfiShimIndex),
                           CarriedEfiFile(resources, kPayloadResourceType, kEfiGrubIndex))) {
      case BootRoad::kRefusedGptOnBios:
        return kStartupGptDisk;
      case BootRoad::kRefusedNotX64:
        return kStartupFirmwareNotX64;
      case BootRoad::kRefusedUntrusted:
      case BootRoad::kRefusedRevoked:
        return kStartupLoaderNotTrusted;
      default:
        return kStartupReady;
    }
  }
  // A host that answers with no readable record offers nothing to install:
  // to the user that is the same failed link as no answer at all.
  bool FetchCatalogue() override { return LoadCatalogue() && Catalogue().Count() > 0; }
  wchar_t ChooseWorkDrive() override { return kavi::ChooseWorkDrive(); }
  wchar_t SystemDrive() override { return Working().SystemDrive(); }

 private:
  HWND window_;
};

DWORD WINAPI StartupThread(void* parameter) {
  Win32StartupSteps steps(static_cast<HWND>(parameter));
  StartupStatusValue().store(RunStartupCheck(steps), std::memory_order_relaxed);
  return 0;
}

DWORD WINAPI ToolTileThread(void* parameter) {
  PublishToolTiles();
  SendMessageW(static_cast<HWND>(parameter), WM_TOOLTILES_READY, 0, 0);
  return 0;
}

void StartDetached(LPTHREAD_START_ROUTINE routine, HWND window) {
  HANDLE thread = CreateThread(nullptr, 0, routine, window, 0, nullptr);
  if (thread) CloseHandle(thread);
}

DWORD WINAPI WorkingPathThread(void*) {
  SetUpWorkingPaths();
  StartupMark("working paths set up");
  return 0;
}

BackgroundSetUp g_pathSetUp(&WorkingPathThread);  // UI thread only

}  // namespace

void StartWorkingPathSetUp() {
  g_pathSetUp.Start();
}

void WaitForWorkingPathSetUp() {
  g_pathSetUp.Wait();
}

void StartStartupThread(HWND mainWindow) {
  StartDetached(&StartupThread, mainWindow);
}

void AllowUpdateQuestion() {
  if (UpdateQuestionAllowed()) SetEvent(UpdateQuestionAllowed());
}

void StartToolTileThread(HWND mainWindow) {
  StartDetached(&ToolTileThread, mainWindow);
}

}  // namespace kavi

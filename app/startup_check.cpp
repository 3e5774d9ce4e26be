#include "app/startup_check.h"

#include "host/host_facts.h"
#include "host/text.h"

namespace kavi {

std::atomic<int>& StartupStatusValue() {
  static std::atomic<int> status{kStartupPending};
  return status;
}

int DecideStartupStatus(int roadStatus, bool catalogueFetched, wchar_t workDrive,
                        wchar_t systemDrive) {
  if (roadStatus != kStartupReady) return roadStatus;
  if (!catalogueFetched) return kStartupServiceUnreachable;
  if (workDrive == systemDrive) return kStartupSinglePartition;
  return kStartupReady;
}

UserMessage InstallRefusal(int status) {
  switch (status) {
    case kStartupServiceUnreachable:
      return {L"链接云引擎失败，请检查网络后重试。", L"警告", kBoxIconWarning};
    case kStartupSinglePartition:
      return {L"只有一个分区，无法进行重装操作。", L"警告", kBoxIconWarning};
    case kStartupGptDisk:
      return {L"当前系统为GPT分区模式，无法使用一键重装系统功能。", L"警告", kBoxIconWarning};
    case kStartupFirmwareNotX64:
      return {L"当前电脑以32位UEFI方式启动，无法使用一键重装系统功能。", L"警告", kBoxIconWarning};
    case kStartupLoaderNotTrusted:
      return {
          L"当前电脑已开启安全启动（Secure Boot），且不信任本软件的启动文件，无法使用一键重装"
          L"系统功能。",
          L"警告", kBoxIconWarning};
    default:
      return {L"正在连接中,请稍候...", L"提示", kBoxOk};
  }
}

std::wstring UpdateQuestion(const std::wstring& latestVersion) {
  return Format(L"Kavi一键重装系统有新版本 V %ls 立刻下载？", latestVersion.c_str());
}

std::wstring CountdownText(int seconds) {
  return Format(L"%ls (%d)", L"选择然后下一步", seconds);
}

int PreselectedRow(bool largeMemory, size_t entryCount) {
  const int position = RecommendationFor(largeMemory).position;
  return static_cast<size_t>(position) < entryCount ? position : -1;
}

std::wstring RowText(const std::wstring& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit > 3 ? limit - 3 : 0;
  // Never split a surrogate pair.
  if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
  return text.substr(0, cut) + L"...";
}

int RunStartupCheck(StartupSteps& steps) {
  std::wstring latest;
  if (steps.NewVersionOffered(&latest) &&
      steps.AskYesNo(UpdateQuestion(latest), L"一键重装有新版本") && steps.LaunchUpdate()) {
    steps.ExitForUpdate();
  }
  steps.ReportStart();
  // The checks run in the order of the verdict and stop at the first that
  // decides it.
  const int road = steps.BootRoadStatus();
  if (road != kStartupReady) return road;
  if (!steps.FetchCatalogue()) return kStartupServiceUnreachable;
  return DecideStartupStatus(kStartupReady, true, steps.ChooseWorkDrive(), steps.SystemDrive());
}

}  // namespace kavi

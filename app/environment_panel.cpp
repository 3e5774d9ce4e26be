#include "app/environment_panel.h"

#include <optional>

#include "host/host_facts.h"
#include "host/text.h"

namespace kavi {

EnvironmentTexts MakeEnvironmentTexts(int32_t windowsEdition, uint64_t totalPhysicalBytes,
                                      wchar_t systemDrive, const std::wstring& downloadFolder) {
  EnvironmentTexts t;
  t.currentSystem = Format(L"当前系统：%ls", EditionDisplayName(windowsEdition));
  t.memory =
      Format(L"内存大小：%.2lf GB", static_cast<double>(totalPhysicalBytes) * (1.0 / 1073741824.0));
  t.systemPartition = Format(L"系统分区：%lc:", systemDrive);
  t.downloadPath = Format(L"下载路径：%ls", downloadFolder.c_str());
  return t;
}

ReminderTexts MakeReminderTexts(int64_t now, uint64_t installDate) {
  ReminderTexts t;
  std::optional<int64_t> days = DaysSinceInstall(now, installDate);
  if (!days) {
    t.backStatus = L"已经很久没有重装过系统了。";
  } else if (static_cast<int32_t>(*days) < 30) {
    t.backStatus = Format(L"您的系统在%d天前进行重装过哦。", static_cast<int32_t>(*days));
  } else {
    t.backStatus = Format(L"已经有%d天没重装过系统啦。", static_cast<int32_t>(*days));
  }
  t.tips1 = L"如果系统卡，慢，或者有一些自己处理不了的问题";
  t.tips2 = L"点击上方开始重装，立即帮您安装一个全新的系统！";
  return t;
}

}  // namespace kavi

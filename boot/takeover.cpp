#include "boot/takeover.h"

#include "boot/boot_entries.h"
#include "boot/boot_payloads.h"
#include "boot/ghost_script.h"
#include "host/text.h"

namespace kavi {
namespace {

constexpr const wchar_t* kCaptionInfo = L"提示";
constexpr const wchar_t* kCaptionWarning = L"警告";
constexpr const wchar_t* kCaptionError = L"错误";

constexpr int32_t kLastBootIniEdition = 2;  // Windows 2000, XP, Server 2003
constexpr int32_t kLastBcdEdition = 13;     // Windows Vista to Windows 10

bool UsesBootIni(const BootMachine& m) {
  return m.windowsEdition <= kLastBootIniEdition;
}

// Both boot menus start the loader through its boot-sector form: NTLDR and
// the boot manager load kvldr.mbr whole at 0000:7C00, and it finds and starts
// kvldr. GRUB's kvldr itself is no boot-sector file, so it is never named in
// a boot menu.
constexpr bool kWithBootSectorForm = true;

GhostPartitionLookup LookupAgainst(BootMachine& m, wchar_t reference) {
  return [&m, reference](wchar_t letter) {
    return GhostPartitionId(m.disks, m.devices, letter, reference);
  };
}

// The script bytes, built before anything is written.
std::optional<std::string> ScriptBytes(BootMachine& m, int mode, const std::wstring& imagePath) {
  const GhostPartitionLookup lookup = LookupAgainst(m, m.settings.bootDrive);
  const std::optional<std::wstring> text =
      mode == kTakeoverBackup ? BuildGhostBackupScript(lookup, m.systemDrive, imagePath)
                              : BuildGhostRestoreScript(lookup, imagePath, m.systemDrive);
  if (!text) return std::nullopt;
  return GhostScriptBytes(*text);
}

TakeoverResult Arm(BootMachine& m, int mode, const std::wstring& name, const std::string& script) {
  if (!WriteBootPayloads(m, kWithBootSectorForm)) return TakeoverResult::kPayloadsNotWritten;
  const std::wstring scriptPath =
      Format(L"%lc:\\%ls", m.settings.bootDrive, m.settings.scriptFileName.c_str());
  if (!m.files.WriteScript(scriptPath, script)) return TakeoverResult::kScriptNotWritten;
  bool added;
  if (UsesBootIni(m)) {
    added = AddBootIniEntry(m, name, mode);
  } else if (HasBootFolder(m.files, m.settings.bootDrive)) {
    added = AddBcdEntrySystemStore(m, name, mode);
  } else {
    added = AddBcdEntryOwnStore(m, name, mode);
  }
  return added ? TakeoverResult::kArmed : TakeoverResult::kBootEntryNotAdded;
}

TakeoverResult PrepareBoot(BootMachine& m, int mode, const std::wstring& name,
                           const std::wstring& imagePath) {
  const TakeoverResult check = CheckTakeover(m);
  if (check != TakeoverResult::kArmed) return check;
  const std::optional<std::string> script = ScriptBytes(m, mode, imagePath);
  if (!script) return TakeoverResult::kScriptNotWritten;
  UnhideBootFiles(m);
  const TakeoverResult result = Arm(m, mode, name, *script);
  HideBootFiles(m);
  return result;
}

void ShowTakeoverError(TakeoverUi& ui, TakeoverResult result) {
  ui.Message(TakeoverErrorText(result), kCaptionError, kMbOk | kMbIconError);
}

void RestartOrSay(TakeoverUi& ui) {
  if (!ui.Restart()) {
    ui.Message(L"无法自动重启计算机，请手动重启以继续。", kCaptionWarning, kMbOk | kMbIconWarning);
  }
}

// Yes: arm and restart; No: arm only, the user restarts later; Cancel:
// nothing. A takeover that does not arm is reported, never restarted.
void ArmAsAnswered(BootMachine& m, TakeoverUi& ui, int answer,
                   TakeoverResult (*prepare)(BootMachine&, const std::wstring&),
                   const std::wstring& imagePath) {
  if (answer != kIdYes && answer != kIdNo) return;
  const TakeoverResult result = prepare(m, imagePath);
  if (result != TakeoverResult::kArmed) {
    ShowTakeoverError(ui, result);
    return;
  }
  if (answer == kIdYes) RestartOrSay(ui);
}

}  // namespace

std::wstring TakeoverErrorText(TakeoverResult result) {
  switch (result) {
    case TakeoverResult::kArmed:
      return std::wstring();
    case TakeoverResult::kUnsupportedWindows:
      return L"不支持当前的Windows版本，系统未作任何更改。";
    case TakeoverResult::kToolMissing:
      return L"缺少启动配置工具，系统未作任何更改。";
    case TakeoverResult::kPayloadsMissing:
      return L"程序缺少启动文件，系统未作任何更改。";
    case TakeoverResult::kPayloadsNotWritten:
      return L"写入启动文件失败，未添加启动项。";
    case TakeoverResult::kScriptNotWritten:
      return L"写入Ghost任务脚本失败，未添加启动项。";
    case TakeoverResult::kBootEntryNotAdded:
      return L"添加启动项失败，下次启动仍进入Windows。";
  }
  return std::wstring();
}

TakeoverResult CheckTakeover(BootMachine& m) {
  if (m.windowsEdition < 0 || m.windowsEdition > kLastBcdEdition || m.settings.bootDrive == 0) {
    return TakeoverResult::kUnsupportedWindows;
  }
  const bool bootIni = UsesBootIni(m);
  if (!m.files.Exists(m.settings.bcdeditPath)) return TakeoverResult::kToolMissing;
  if (!bootIni && !HasBootFolder(m.files, m.settings.bootDrive) &&
      (!m.files.Exists(m.settings.bcdbootPath) || !m.files.Exists(m.settings.dsptPath))) {
    return TakeoverResult::kToolMissing;
  }
  if (!HasBootPayloads(m, kWithBootSectorForm)) return TakeoverResult::kPayloadsMissing;
  return TakeoverResult::kArmed;
}

TakeoverResult PrepareBackupBoot(BootMachine& machine, const std::wstring& imagePath) {
  return PrepareBoot(machine, kTakeoverBackup, L"Kavi一键备份", imagePath);
}

TakeoverResult PrepareRestoreBoot(BootMachine& machine, const std::wstring& imagePath) {
  return PrepareBoot(machine, kTakeoverRestore, L"Kavi一键还原", imagePath);
}

std::wstring BackupQuestionText(const std::wstring& source, const std::wstring& target) {
  return Format(
      L"备份工作已经准备就绪，是否继续？【%ls-%ls】\r\n立刻重启备份\"是\"，手动重启备份\"否\"，"
      L"取消本次操作\"取消\"\r\n",
      source.c_str(), target.c_str());
}

std::wstring RestoreQuestionText(const std::wstring& source, const std::wstring& target) {
  return Format(
      L"还原工作已经准备就绪，是否继续？【%ls-%ls】\r\n立刻重启还原\"是\"，手动重启还原\"否\"，"
      L"取消本次操作\"取消\"\r\n",
      source.c_str(), target.c_str());
}

void OnBackupSystem(BootMachine& m, TakeoverUi& ui, const std::wstring& imagePath) {
  if (imagePath.empty()) return;
  const wchar_t sys = m.systemDrive;
  const std::wstring source = GhostPartitionId(m.disks, m.devices, sys, sys);
  if (source.empty()) {
    ui.Message(L"读取备份分区发生错误。", kCaptionError, kMbOk | kMbIconError);
    return;
  }
  const std::wstring target = GhostPartitionId(m.disks, m.devices, imagePath[0], sys);
  if (target.empty()) {
    ui.Message(L"读取备份保存分区发生错误。", kCaptionError, kMbOk | kMbIconError);
    return;
  }
  const TakeoverResult check = CheckTakeover(m);
  if (check != TakeoverResult::kArmed) {
    ShowTakeoverError(ui, check);
    return;
  }
  const int answer = ui.Message(BackupQuestionText(source, target), kCaptionInfo, kMbYesNoCancel);
  ArmAsAnswered(m, ui, answer, &PrepareBackupBoot, imagePath);
}

void OnRestoreSystem(BootMachine& m, TakeoverUi& ui, const std::wstring& imagePath) {
  if (imagePath.empty()) return;
  const wchar_t sys = m.systemDrive;
  const std::wstring source = GhostPartitionId(m.disks, m.devices, imagePath[0], sys);
  if (source.empty()) {
    ui.Message(L"读取还原分区发生错误。", kCaptionError, kMbOk);
    return;
  }
  const std::wstring target = GhostPartitionId(m.disks, m.devices, sys, sys);
  if (target.empty()) {
    ui.Message(L"读取还原镜像分区发生错误。", kCaptionError, kMbOk);
    return;
  }
  if (!m.files.Exists(imagePath)) {
    ui.Message(L"备份文件不存在,请先使用备份系统功能", kCaptionInfo, kMbOk);
    return;
  }
  const TakeoverResult check = CheckTakeover(m);
  if (check != TakeoverResult::kArmed) {
    ShowTakeoverError(ui, check);
    return;
  }
  const int answer = ui.Message(RestoreQuestionText(source, target), kCaptionInfo, kMbYesNoCancel);
  ArmAsAnswered(m, ui, answer, &PrepareRestoreBoot, imagePath);
}

bool TakeOverForReinstall(BootMachine& m, TakeoverUi& ui, const std::wstring& imagePath) {
  const wchar_t sys = m.systemDrive;
  if (imagePath.empty() || GhostPartitionId(m.disks, m.devices, imagePath[0], sys).empty() ||
      GhostPartitionId(m.disks, m.devices, sys, sys).empty()) {
    ui.Message(L"读取分区发生错误。", kCaptionError, kMbOk);
    return false;
  }
  const TakeoverResult result = PrepareRestoreBoot(m, imagePath);
  if (result != TakeoverResult::kArmed) {
    ShowTakeoverError(ui, result);
    return false;
  }
  if (!ui.Restart()) {
    ui.Message(L"无法自动重启计算机，请手动重启以继续。", kCaptionWarning, kMbOk | kMbIconWarning);
  }
  return true;
}

}  // namespace kavi

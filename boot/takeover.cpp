#include "boot/takeover.h"

#include <vector>

#include "boot/backup_record.h"
#include "boot/backup_swap.h"
#include "boot/boot_entries.h"
#include "boot/boot_payloads.h"
#include "boot/disk_record.h"
#include "boot/efi_takeover.h"
#include "boot/ghost_script.h"
#include "boot/image_payload.h"
#include "boot/takeover_files.h"
#include "boot/volume_encryption.h"
#include "boot/volume_reach.h"
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

std::wstring RootPath(const BootMachine& m, const std::wstring& name) {
  return Format(L"%lc:\\%ls", m.settings.bootDrive, name.c_str());
}

TakeoverResult Arm(BootMachine& m, int mode, const std::wstring& name, uint16_t imageId,
                   const TakeoverFiles& task) {
  if (!WriteBootPayloads(m, imageId, kWithBootSectorForm)) {
    return TakeoverResult::kPayloadsNotWritten;
  }
  if (!m.files.WriteScript(RootPath(m, m.settings.scriptFileName), task.script) ||
      !m.files.WriteScript(RootPath(m, kDiskRecordFileName), task.record)) {
    return TakeoverResult::kScriptNotWritten;
  }
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

VolumeReach ReachOf(BootMachine& m, wchar_t letter) {
  return DecideVolumeReach(
      VolumeReachFactsOf(m.devices, m.disks, letter, m.files.FileSystemName(letter)));
}

// The next boot finds C: and the image's partition by their place on a disk
// and reads them as NTFS or FAT.
TakeoverResult CheckVolumesReach(BootMachine& m, const std::wstring& imagePath) {
  switch (ReachOf(m, m.systemDrive)) {
    case VolumeReach::kDynamicDisk:
      return TakeoverResult::kSystemOnDynamicDisk;
    case VolumeReach::kNotAPartition:
      return TakeoverResult::kSystemNotAPartition;
    case VolumeReach::kFileSystem:
      return TakeoverResult::kSystemFileSystem;
    case VolumeReach::kReachable:
      break;
  }
  const bool otherDrive = imagePath.size() > 2 && imagePath[1] == L':' &&
                          (imagePath[0] | 0x20) != (m.systemDrive | 0x20);
  if (otherDrive && ReachOf(m, imagePath[0]) != VolumeReach::kReachable) {
    return TakeoverResult::kImageVolumeUnreachable;
  }
  return TakeoverResult::kArmed;
}

struct TakeoverPlan {
  TakeoverResult result = TakeoverResult::kArmed;
  uint16_t imageId = 0;
  std::optional<EfiTarget> efi;  // set on the UEFI road
};

TakeoverPlan Plan(BootMachine& m, int mode, const std::wstring& imagePath) {
  TakeoverPlan plan;
  const auto refuse = [&](TakeoverResult result) {
    plan.result = result;
    return plan;
  };
  if (m.windowsEdition < 0 || m.windowsEdition > kLastBcdEdition || m.settings.bootDrive == 0) {
    return refuse(TakeoverResult::kUnsupportedWindows);
  }
  const BootRoad road =
      DecideBootRoad(m.firmware, IsGptVolume(m.devices, m.systemDrive),
                     CarriedEfiFile(m.resources, m.settings.resourceType, kEfiShimIndex),
                     CarriedEfiFile(m.resources, m.settings.resourceType, kEfiGrubIndex));
  if (road == BootRoad::kRefusedGptOnBios) return refuse(TakeoverResult::kBootRoadRefused);
  if (road == BootRoad::kRefusedNotX64) return refuse(TakeoverResult::kFirmwareNotX64);
  if (road == BootRoad::kRefusedUntrusted) return refuse(TakeoverResult::kLoaderNotTrusted);
  if (road == BootRoad::kRefusedRevoked) return refuse(TakeoverResult::kLoaderRevoked);
  const bool uefi = road == BootRoad::kUefi;
  // UEFI firmware starts only Windows that keep their boot entries in BCD.
  if (uefi && UsesBootIni(m)) return refuse(TakeoverResult::kUnsupportedWindows);
  std::vector<std::wstring> tools = {m.settings.bcdeditPath};
  if (!uefi && !UsesBootIni(m) && !HasBootFolder(m.files, m.settings.bootDrive)) {
    tools.push_back(m.settings.bcdbootPath);
    tools.push_back(m.settings.dsptPath);
  }
  for (const std::wstring& tool : tools) {
    if (tool.empty()) return refuse(TakeoverResult::kToolsFolderUnsafe);
  }
  for (const std::wstring& tool : tools) {
    if (!m.files.Exists(tool)) return refuse(TakeoverResult::kToolMissing);
  }
  for (const std::wstring& tool : tools) {
    if (!HoldCarriedTool(m, tool)) return refuse(TakeoverResult::kToolChanged);
  }
  const PayloadChoice choice = ChooseImagePayload(m, mode, imagePath);
  if (choice.result != TakeoverResult::kArmed) return refuse(choice.result);
  if (mode == kTakeoverRestore) {
    const TakeoverResult fit = CheckImageForMachine(m, imagePath, uefi, UsesBootIni(m));
    if (fit != TakeoverResult::kArmed) return refuse(fit);
  }
  if (IsBitLockerVolume(m.devices, m.disks, m.systemDrive) ||
      (!imagePath.empty() && IsBitLockerVolume(m.devices, m.disks, imagePath[0]))) {
    return refuse(TakeoverResult::kVolumeEncrypted);
  }
  const TakeoverResult reach = CheckVolumesReach(m, imagePath);
  if (reach != TakeoverResult::kArmed) return refuse(reach);
  plan.imageId = choice.imageId;
  if (uefi) {
    // The DOS floppy cannot start on UEFI firmware.
    if (choice.imageId != m.settings.environmentImageId) {
      return refuse(TakeoverResult::kGhostImageOnUefi);
    }
    if (!HasEfiPayloads(m)) return refuse(TakeoverResult::kPayloadsMissing);
    plan.efi = FindEfiTarget(m);
    if (!plan.efi) return refuse(TakeoverResult::kNoEfiRoom);
  } else if (!HasBootPayloads(m, choice.imageId, kWithBootSectorForm)) {
    return refuse(TakeoverResult::kPayloadsMissing);
  }
  return plan;
}

TakeoverResult PrepareBoot(BootMachine& m, int mode, const std::wstring& name,
                           const std::wstring& imagePath,
                           const std::optional<ImageBinding>& image = {}) {
  const TakeoverPlan plan = Plan(m, mode, imagePath);
  if (plan.result != TakeoverResult::kArmed) return plan.result;
  const std::optional<TakeoverFiles> task = BuildTakeoverFiles(
      m.disks, m.devices, m.settings.bootDrive, m.systemDrive, mode, imagePath, image);
  if (!task) return TakeoverResult::kScriptNotWritten;
  UnhideBootFiles(m);
  const TakeoverResult result = plan.efi ? ArmEfiTakeover(m, *plan.efi, name, *task)
                                         : Arm(m, mode, name, plan.imageId, *task);
  HideBootFiles(m);
  // A shutdown instead of the restart must leave volumes the task can write.
  if (result == TakeoverResult::kArmed && m.power) TurnOffFastStartupForTask(*m.power);
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
    case TakeoverResult::kBootRoadRefused:
      return L"当前系统为GPT分区模式且以BIOS方式启动，无法进行此操作，系统未作任何更改。";
    case TakeoverResult::kFirmwareNotX64:
      return L"当前电脑以32位UEFI方式启动，无法进行此操作，系统未作任何更改。";
    case TakeoverResult::kLoaderNotTrusted:
      return L"当前电脑已开启安全启动（Secure Boot），且不信任本软件的启动文件，请关闭安全启动后"
             L"重试。系统未作任何更改。";
    case TakeoverResult::kLoaderRevoked:
      return L"安全启动已吊销本程序的启动文件，无法进行此操作，系统未作任何更改。";
    case TakeoverResult::kNoEfiRoom:
      return L"未找到EFI系统分区或其剩余空间不足，系统未作任何更改。";
    case TakeoverResult::kToolMissing:
      return L"缺少启动配置工具，系统未作任何更改。";
    case TakeoverResult::kToolsFolderUnsafe:
      return L"无法建立仅管理员可写入的文件夹来存放启动配置工具，系统未作任何更改。";
    case TakeoverResult::kToolChanged:
      return L"启动配置工具已被其他程序改动，无法安全运行，系统未作任何更改。";
    case TakeoverResult::kPayloadsMissing:
      return L"程序缺少启动文件，系统未作任何更改。";
    case TakeoverResult::kImageUnreadable:
      return L"无法读取镜像文件，系统未作任何更改。";
    case TakeoverResult::kImageUnknown:
      return L"无法识别镜像文件的格式，系统未作任何更改。";
    case TakeoverResult::kImageNeedsGhost:
      return L"该镜像为GHO格式，需要Ghost启动文件，系统未作任何更改。";
    case TakeoverResult::kImageOnSystemDrive:
      return L"镜像文件位于系统分区上，无法在重启后写入系统分区，请将其放在其他分区。系统未作任何更"
             L"改。";
    case TakeoverResult::kBackupIntoSystem:
      return L"备份文件位于系统分区上，无法把系统分区备份到其自身，请将其放在其他分区。系统未作任"
             L"何更改。";
    case TakeoverResult::kGhostImageOnUefi:
      return L"该镜像为GHO格式，Ghost启动文件无法在UEFI方式启动的电脑上运行，请选择WIM或ESD格式的"
             L"镜像。系统未作任何更改。";
    case TakeoverResult::kPayloadsNotWritten:
      return L"写入启动文件失败，未添加启动项。";
    case TakeoverResult::kScriptNotWritten:
      return L"写入Ghost任务脚本失败，未添加启动项。";
    case TakeoverResult::kImageNeedsX64:
      return L"该镜像为64位系统，当前电脑的处理器只能运行32位系统，系统未作任何更改。";
    case TakeoverResult::kImageNoUefiLoader:
      return L"该镜像为32位系统，无法在当前电脑的UEFI模式下启动，请使用64位镜像。系统未作任何更改"
             L"。";
    case TakeoverResult::kImageNeedsSecureBootOff:
      return L"该镜像为Windows 7或更早的系统，无法在开启了安全启动(Secure Boot)的电脑上启动。请在"
             L"BIOS设置中关闭安全启动后重试，或选择Windows 8及以上的镜像。系统未作任何更改。";
    case TakeoverResult::kImageNeedsBootManager:
      return L"当前系统为Windows "
             L"XP/2003，无法直接安装该镜像中更新版本的Windows，系统未作任何更改。";
    case TakeoverResult::kVolumeEncrypted:
      return L"请先关闭BitLocker后再重装系统。系统未作任何更改。";
    case TakeoverResult::kSystemOnDynamicDisk:
      return L"系统分区位于动态磁盘上，重启后无法访问，不能进行此操作。系统未作任何更改。";
    case TakeoverResult::kSystemNotAPartition:
      return L"系统分区不是硬盘上的普通分区（如虚拟硬盘或存储空间），重启后无法访问，"
             L"不能进行此操作。系统未作任何更改。";
    case TakeoverResult::kSystemFileSystem:
      return L"系统分区的文件系统不是NTFS或FAT32，重启后无法访问，"
             L"不能进行此操作。系统未作任何更改。";
    case TakeoverResult::kImageVolumeUnreachable:
      return L"镜像文件所在的分区重启后无法访问（须为基本磁盘上的NTFS或FAT32分区），"
             L"请将镜像文件放到其他分区后重试。系统未作任何更改。";
    case TakeoverResult::kBootEntryNotAdded:
      return L"添加启动项失败，下次启动仍进入Windows。";
    case TakeoverResult::kBackupChanged:
      return L"备份文件已被改动，与备份时记录的大小和校验值不符，无法还原，系统未作任何更改。";
    case TakeoverResult::kBackupRecordUnreadable:
      return L"无法读取备份记录，不能确认备份文件未被改动，系统未作任何更改。";
  }
  return std::wstring();
}

TakeoverResult CheckTakeover(BootMachine& m, int mode, const std::wstring& imagePath,
                             uint16_t* imageId) {
  const TakeoverPlan plan = Plan(m, mode, imagePath);
  if (plan.result == TakeoverResult::kArmed && imageId != nullptr) *imageId = plan.imageId;
  return plan.result;
}

TakeoverResult PrepareBackupBoot(BootMachine& machine, const std::wstring& imagePath) {
  return PrepareBoot(machine, kTakeoverBackup, L"Kavi一键备份", imagePath);
}

void PutBackFastStartupWhenNoTask(BootMachine& m) {
  if (m.power) PutBackFastStartup(*m.power, m.files.Exists(RootPath(m, m.settings.scriptFileName)));
}

TakeoverResult PrepareRestoreBoot(BootMachine& machine, const std::wstring& imagePath) {
  return PrepareBoot(machine, kTakeoverRestore, L"Kavi一键还原", imagePath);
}

TakeoverResult PrepareRestoreBoot(BootMachine& machine, const std::wstring& imagePath,
                                  const std::optional<ImageBinding>& image) {
  return PrepareBoot(machine, kTakeoverRestore, L"Kavi一键还原", imagePath, image);
}

std::wstring BackupQuestionText(const std::wstring& source, const std::wstring& target) {
  return Format(
      L"备份工作已经准备就绪，是否继续？【%ls-%ls】\r\n立刻重启备份\"是\"，手动重启备份\"否\"，"
      L"取消本次操作\"取消\"\r\n",
      source.c_str(), target.c_str());
}

std::wstring UnprovenBackupText(BackupCheck why) {
  const wchar_t* reason = why == BackupCheck::kUnrecorded
                              ? L"找不到备份记录(Ghost.sum)，"
                              : L"备份记录(Ghost.sum)可以被非管理员用户修改，";
  return std::wstring(reason) +
         L"无法确认备份文件是本软件备份的、没有被其他用户替换。确定要用它还原系统吗？";
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
  const TakeoverResult check = CheckTakeover(m, kTakeoverBackup, imagePath);
  if (check != TakeoverResult::kArmed) {
    ShowTakeoverError(ui, check);
    return;
  }
  const int answer = ui.Message(BackupQuestionText(source, target), kCaptionInfo, kMbYesNoCancel);
  ArmAsAnswered(m, ui, answer, &PrepareBackupBoot, imagePath);
}

void OnRestoreSystem(BootMachine& m, TakeoverUi& ui, const std::wstring& imagePath,
                     const MeasureFile& measure) {
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
  // A backup whose replacement a cut interrupted is under one of its working
  // names until the user has answered: "取消" leaves every file as it was.
  const std::wstring backup = BackupAfterSwap(m.files, imagePath);
  if (backup.empty()) {
    ui.Message(L"备份文件不存在,请先使用备份系统功能", kCaptionInfo, kMbOk);
    return;
  }
  const TakeoverResult check = CheckTakeover(m, kTakeoverRestore, backup);
  if (check != TakeoverResult::kArmed) {
    ShowTakeoverError(ui, check);
    return;
  }
  const int answer = ui.Message(RestoreQuestionText(source, target), kCaptionInfo, kMbYesNoCancel);
  if (answer != kIdYes && answer != kIdNo) return;
  if (!FinishBackupSwap(m.files, imagePath) || !m.files.Exists(imagePath)) {
    return ShowTakeoverError(ui, TakeoverResult::kImageUnreadable);
  }
  // A recorded backup is restored only as the agent wrote it, and the task
  // is bound to it: the next boot checks it again before it formats.
  ImageBinding binding;
  std::optional<ImageBinding> bound;
  const BackupCheck checked = CheckBackupAgainstRecord(m, imagePath, measure, &binding);
  switch (checked) {
    case BackupCheck::kUnrecorded:
    case BackupCheck::kRecordUnprotected:
      // Nothing shows the backup is the one this program made: it may be
      // another user's Windows. The next boot verifies it as a whole.
      if (ui.Message(UnprovenBackupText(checked), kCaptionWarning, kMbYesNo | kMbIconWarning) !=
          kIdYes) {
        return;
      }
      break;
    case BackupCheck::kBound:
      bound = binding;
      break;
    case BackupCheck::kChanged:
      return ShowTakeoverError(ui, TakeoverResult::kBackupChanged);
    case BackupCheck::kRecordUnreadable:
      return ShowTakeoverError(ui, TakeoverResult::kBackupRecordUnreadable);
    case BackupCheck::kBackupUnreadable:
      return ShowTakeoverError(ui, TakeoverResult::kImageUnreadable);
  }
  const TakeoverResult result = PrepareRestoreBoot(m, imagePath, bound);
  if (result != TakeoverResult::kArmed) return ShowTakeoverError(ui, result);
  if (answer == kIdYes) RestartOrSay(ui);
}

bool TakeOverForReinstall(BootMachine& m, TakeoverUi& ui, const std::wstring& imagePath,
                          const std::optional<ImageBinding>& image) {
  const wchar_t sys = m.systemDrive;
  if (imagePath.empty() || GhostPartitionId(m.disks, m.devices, imagePath[0], sys).empty() ||
      GhostPartitionId(m.disks, m.devices, sys, sys).empty()) {
    ui.Message(L"读取分区发生错误。", kCaptionError, kMbOk);
    return false;
  }
  const TakeoverResult result = PrepareRestoreBoot(m, imagePath, image);
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

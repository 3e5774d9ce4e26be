#include "boot/boot_entries.h"

#include "boot/boot_payloads.h"
#include "host/text.h"

namespace kavi {
namespace {

std::wstring BcdPath(wchar_t x) {
  return Format(L"%lc:\\BOOT\\BCD", x);
}
std::wstring BcdBackupPath(wchar_t x) {
  return Format(L"%lc:\\BOOT\\BCD_B", x);
}

// boot.ini holds a few hundred bytes; a larger file is none this program
// edits, as it could not be put back whole.
constexpr size_t kBootIniLimit = 64 * 1024;

bool ValidMode(int mode) {
  return mode == kTakeoverBackup || mode == kTakeoverRestore;
}

// Runs the argument lines through bcdedit. The create line may fail on a
// machine where an earlier takeover left the entry (the following lines then
// update it), and the display order and timeout only shape the menu; the
// path, device and boot sequence lines must succeed for the entry to start
// the loader.
bool RunBcdEntryArguments(BootMachine& machine, const std::vector<std::wstring>& lines,
                          const std::wstring& store) {
  const std::wstring& bcdedit = machine.settings.bcdeditPath;
  const bool armed = [&] {
    if (!RunTool(machine, bcdedit, lines[0])) return false;
    if (!RunToolSucceeded(machine, bcdedit, lines[1])) return false;
    RunTool(machine, bcdedit, lines[2]);
    RunTool(machine, bcdedit, lines[3]);
    return RunToolSucceeded(machine, bcdedit, lines[4]) &&
           RunToolSucceeded(machine, bcdedit, lines[5]);
  }();
  if (!armed) {
    RunTool(machine, bcdedit,
            Format(L"%ls/delete {%ls}", store.c_str(), machine.settings.entryId.c_str()));
  }
  return armed;
}

bool AddBcdEntry(BootMachine& machine, const std::wstring& store, const std::wstring& name) {
  const wchar_t x = machine.settings.bootDrive;
  // Everything that can be found out beforehand is, so a failure leaves the
  // store as it was.
  const std::wstring device = BootDriveDevice(machine);
  const bool hadBackup = machine.files.Exists(BcdBackupPath(x));
  BackupBcdStore(machine);
  if (RunBcdEntryArguments(machine, BcdEntryArguments(machine.settings, store, name, device),
                           store)) {
    return true;
  }
  // A backup left behind would be put back by the DOS side after some later
  // takeover, undoing whatever changed in the store meanwhile.
  if (!hadBackup) machine.files.Delete(BcdBackupPath(x));
  return false;
}

}  // namespace

bool HasBootFolder(BootFiles& files, wchar_t letter) {
  if (files.Exists(Format(L"%lc:\\Boot\\memtest.exe", letter))) return true;
  return files.Exists(Format(L"%lc:\\Boot\\zh-CN", letter));
}

void BackupBcdStore(BootMachine& machine) {
  const wchar_t x = machine.settings.bootDrive;
  machine.files.Copy(BcdPath(x), BcdBackupPath(x), true);
  if (!machine.files.Exists(BcdBackupPath(x))) {
    RunTool(machine, machine.settings.bcdeditPath,
            Format(L"/export %ls", BcdBackupPath(x).c_str()));
  }
}

bool MakeSystemPartitionBootable(BootMachine& machine, wchar_t letter,
                                 const std::wstring& bcdbootPath, const std::wstring& dsptPath) {
  const std::optional<uint32_t> created = RunCarriedTool(
      machine, bcdbootPath, Format(L"%lc:\\windows /s %lc: /l zh-cn", letter, letter));
  if (!created || *created != 0) return false;
  const int32_t disk = DiskNumberOfVolume(machine.devices, letter);
  if (disk < 0) return false;
  const std::optional<LetterPosition> found = FindLetterPosition(machine.disks, letter);
  if (!found || found->disk != disk) return false;
  const std::optional<uint32_t> activated =
      RunCarriedTool(machine, dsptPath, Format(L"%d /act:%d", disk, found->position));
  return activated && *activated == 0;
}

std::wstring BootDriveDevice(BootMachine& machine) {
  const wchar_t x = machine.settings.bootDrive;
  std::wstring device = VolumeDevicePath(machine.devices, x, machine.diagnostics);
  if (device.empty()) device = Format(L"%lc:", x);
  return device;
}

std::vector<std::wstring> BcdEntryArguments(const BootTakeoverSettings& s,
                                            const std::wstring& store, const std::wstring& name,
                                            const std::wstring& device) {
  const wchar_t* st = store.c_str();
  const wchar_t* id = s.entryId.c_str();
  return {
      Format(L"%ls/create {%ls} /d \"%ls\" /application bootsector", st, id, name.c_str()),
      Format(L"%ls/set {%ls} path \\%ls", st, id, s.LoaderBootSectorName().c_str()),
      Format(L"%ls/displayorder {%ls} /addlast", st, id),
      Format(L"%ls/timeout %d", st, kBootMenuTimeout),
      Format(L"%ls/set {%ls} device partition=%ls", st, id, device.c_str()),
      Format(L"%ls/bootsequence {%ls}", st, id),
  };
}

bool AddBcdEntrySystemStore(BootMachine& machine, const std::wstring& name, int mode) {
  if (!ValidMode(mode)) return false;
  return AddBcdEntry(machine, std::wstring(), name);
}

bool AddBcdEntryOwnStore(BootMachine& machine, const std::wstring& name, int mode) {
  if (!ValidMode(mode)) return false;
  const BootTakeoverSettings& s = machine.settings;
  // Without an active partition holding this store the entry would never be
  // seen at boot.
  if (!MakeSystemPartitionBootable(machine, s.bootDrive, s.bcdbootPath, s.dsptPath)) return false;
  return AddBcdEntry(machine, Format(L"/store %lc:\\boot\\bcd ", s.bootDrive), name);
}

bool AddBootIniEntry(BootMachine& machine, const std::wstring& name, int mode) {
  if (!ValidMode(mode)) return false;
  const BootTakeoverSettings& s = machine.settings;
  BootFiles& f = machine.files;
  const std::wstring bootIni = Format(L"%lc:\\boot.ini", s.bootDrive);
  const std::wstring backup = Format(L"%lc:\\boot.in_", s.bootDrive);
  // NTLDR starts the loader's boot-sector form, as the boot manager does.
  const std::wstring loader = Format(L"%lc:\\%ls", s.bootDrive, s.LoaderBootSectorName().c_str());
  // A boot.ini made from nothing would hold only our entry, and NTLDR reads
  // none on a drive that has none. The bytes read here are what a failed
  // edit puts back.
  std::string before;
  if (!f.ReadStart(bootIni, kBootIniLimit, &before) || before.size() == kBootIniLimit) {
    return false;
  }
  // boot.ini has no one-time entry: the next boot puts "boot.in_" back before
  // its task runs, so the entry cannot outlive one start of the loader. The
  // copy must be boot.ini as it was before any takeover. One that names the
  // loader already was armed by a takeover whose next boot has not come; the
  // copy that takeover made is kept, and without one there is nothing clean
  // to put back.
  bool copied = false;
  if (!NamesBootIniEntry(before, loader)) {
    if (!f.Copy(bootIni, backup, false)) return false;
    copied = true;
  } else if (!f.Exists(backup)) {
    return false;
  }
  if (f.WriteIniValue(bootIni, L"boot loader", L"default", loader) &&
      f.SetBootLoaderTimeout(bootIni) &&
      f.WriteIniValue(bootIni, L"operating systems", loader, name)) {
    return true;
  }
  // Half an edit could leave the loader the default of every later boot. A
  // copy made here goes only once boot.ini is whole again; until then it is
  // what the next boot would put back.
  if (f.WriteScript(bootIni, before) && copied) f.Delete(backup);
  return false;
}

bool NamesBootIniEntry(const std::string& bootIni, const std::wstring& loader) {
  // boot.ini is ANSI text and the loader path plain ASCII; bytes of other
  // characters never match.
  const auto lower = [](wchar_t c) -> wchar_t {
    return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c;
  };
  for (size_t at = 0; !loader.empty() && at + loader.size() <= bootIni.size(); ++at) {
    size_t i = 0;
    while (i < loader.size() &&
           lower(static_cast<unsigned char>(bootIni[at + i])) == lower(loader[i])) {
      ++i;
    }
    if (i == loader.size()) return true;
  }
  return false;
}

}  // namespace kavi

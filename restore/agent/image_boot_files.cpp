#include "restore/agent/image_boot_files.h"

#include "restore/agent/ntfs_security.h"
#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {
namespace {

constexpr size_t kFileLimit = 64 << 20;  // boot fonts are the largest, a few MiB
constexpr size_t kStoreLimit = 16 << 20;
constexpr const char* kNewSuffix = ".kavi-new";

struct PlannedFile {
  std::string from;   // full path on the written partition
  std::string toDir;  // relative to the boot partition's root, "" for the root
  std::string name;
};

std::string Join(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

// Every file below `fromDir`, to the same place below `toDir`.
bool GatherTree(VolumeAccess& volumes, const std::string& fromDir, const std::string& toDir,
                std::vector<PlannedFile>* out) {
  std::optional<std::vector<DirEntry>> entries = volumes.List(fromDir);
  if (!entries) return false;
  for (const DirEntry& e : *entries) {
    if (e.directory) {
      if (!GatherTree(volumes, fromDir + "/" + e.name, Join(toDir, e.name), out)) return false;
    } else {
      out->push_back({fromDir + "/" + e.name, toDir, e.name});
    }
  }
  return true;
}

struct Staged {
  std::string fresh;
  std::string live;
};

// `to` takes the descriptor of `from` (with no `from`, one only
// administrators can change), where its volume keeps descriptors: ntfs-3g
// gives what it creates one that lets everyone change it.
bool KeepDescriptor(VolumeAccess& volumes, const std::string& from, const std::string& to) {
  if (!volumes.ReadSecurity(to)) return true;  // FAT (the ESP) keeps none
  const std::optional<std::string> descriptor =
      from.empty() ? AdminOnlyDescriptor(false, false) : volumes.ReadSecurity(from);
  return descriptor && volumes.SetSecurity(to, *descriptor);
}

// Writes each file beside its place; the pairs to rename.
bool StageFiles(VolumeAccess& volumes, const std::string& root,
                const std::vector<PlannedFile>& files, std::vector<Staged>* staged) {
  for (const PlannedFile& f : files) {
    std::optional<std::string> dir =
        f.toDir.empty() ? std::optional<std::string>(root) : MakeFolders(volumes, root, f.toDir);
    std::optional<std::string> bytes = volumes.ReadFile(f.from, kFileLimit);
    if (!dir || !bytes) return false;
    std::optional<DirEntry> existing = FindEntry(volumes, *dir, f.name);
    const Staged s{*dir + "/" + f.name + kNewSuffix,
                   *dir + "/" + (existing ? existing->name : f.name)};
    if (!volumes.WriteFile(s.fresh, *bytes)) return false;
    staged->push_back(s);
    if (!KeepDescriptor(volumes, f.from, s.fresh)) return false;
  }
  return true;
}

// The store made from `base` by `script`, beside the live one and checked
// to start the written partition by default; with the live store's
// descriptor, or else that of `descriptorOf` (the template it was made from).
bool StageStore(VolumeAccess& volumes, ToolRunner& tools, const BootPlacement& p,
                const std::string& base, const std::string& script, const std::string& descriptorOf,
                Staged* staged, std::string* detail) {
  const std::string storePath = StorePath(p.uefi);
  const size_t slash = storePath.rfind('/');
  std::optional<std::string> dir = MakeFolders(volumes, p.bootDir, storePath.substr(0, slash));
  if (!dir) {
    *detail = "the boot store's folder cannot be made";
    return false;
  }
  const std::string name = storePath.substr(slash + 1);
  std::optional<DirEntry> existing = FindEntry(volumes, *dir, name);
  staged->fresh = *dir + "/" + name + kNewSuffix;
  staged->live = *dir + "/" + (existing ? existing->name : name);
  const std::string scriptPath = *dir + "/" + name + ".kavi-edit";
  std::string said;
  bool ok = volumes.WriteFile(staged->fresh, base) && volumes.WriteFile(scriptPath, script) &&
            tools.Run({"hivexsh", "-w", "-f", scriptPath, staged->fresh}, nullptr, &said) == 0;
  volumes.Remove(scriptPath);
  std::optional<std::string> made;
  if (ok) made = volumes.ReadFile(staged->fresh, kStoreLimit);
  std::optional<HiveKey> store;
  if (made) store = ReadHive(*made);
  if (!store || !DefaultStartsWindowsOn(*store, p.bcd.windows)) {
    volumes.Remove(staged->fresh);
    *detail = "hivexsh could not make a boot store for the written partition";
    const std::string first = said.substr(0, said.find('\n'));
    if (!first.empty()) *detail += " (" + first.substr(0, 120) + ")";
    return false;
  }
  if (!KeepDescriptor(volumes, existing ? staged->live : descriptorOf, staged->fresh)) {
    volumes.Remove(staged->fresh);
    *detail = "the boot store cannot be given its descriptor";
    return false;
  }
  return true;
}

bool RenameAll(VolumeAccess& volumes, const std::vector<Staged>& staged) {
  for (const Staged& s : staged) {
    if (!volumes.Rename(s.fresh, s.live)) return false;
  }
  return true;
}

BootFilesResult Fail(const std::string& detail) {
  BootFilesResult r;
  r.ok = false;
  r.detail = detail;
  return r;
}

}  // namespace

std::string StorePath(bool uefi) {
  return uefi ? "EFI/Microsoft/Boot/BCD" : "Boot/BCD";
}

bool HasImageBootFiles(VolumeAccess& volumes, const std::string& windowsDir, bool uefi) {
  return ResolvePath(volumes, windowsDir,
                     uefi ? "Windows/Boot/EFI/bootmgfw.efi" : "Windows/Boot/PCAT/bootmgr")
      .has_value();
}

BootFilesResult PlaceImageBootFiles(VolumeAccess& volumes, ToolRunner& tools,
                                    const BootPlacement& p) {
  // The store first: kept when it already names the written partition, else
  // the image's template made into one.
  std::string base, script, how, descriptorOf;
  std::optional<HiveKey> machine;
  if (p.machineStore) machine = ReadHive(*p.machineStore);
  std::optional<std::string> keep;
  if (machine) keep = KeepStoreScript(*machine, p.bcd);
  if (keep) {
    base = *p.machineStore;
    script = *keep;
    how = "kept the machine's boot store, its entry set to the written partition";
  } else {
    std::optional<std::string> path =
        ResolvePath(volumes, p.windowsDir, "Windows/System32/config/BCD-Template");
    std::optional<std::string> bytes;
    if (path) bytes = volumes.ReadFile(*path, kStoreLimit);
    std::optional<HiveKey> templ;
    if (bytes) templ = ReadHive(*bytes);
    if (!templ) return Fail("the image has no readable BCD-Template");
    base = *bytes;
    descriptorOf = *path;
    script = NewStoreScript(*templ, p.bcd, p.description);
    how = "made a boot store from the image's template for the written partition";
  }
  Staged store;
  std::string detail;
  if (!StageStore(volumes, tools, p, base, script, descriptorOf, &store, &detail))
    return Fail(detail);

  std::vector<PlannedFile> files;
  const std::string bootDir = *ResolvePath(volumes, p.windowsDir, "Windows/Boot");
  std::optional<std::string> fonts = ResolvePath(volumes, bootDir, "Fonts");
  bool gathered = true;
  if (p.uefi) {
    const std::string efi = *ResolvePath(volumes, bootDir, "EFI");
    gathered = GatherTree(volumes, efi, "EFI/Microsoft/Boot", &files);
    if (fonts)
      gathered = gathered && GatherTree(volumes, *fonts, "EFI/Microsoft/Boot/Fonts", &files);
    // The fallback path starts the boot manager on machines that lost their
    // entries; it is renewed only when it was Microsoft's own copy.
    std::optional<std::string> fallback = ResolvePath(volumes, p.bootDir, "EFI/Boot/bootx64.efi");
    std::optional<std::string> oldManager =
        ResolvePath(volumes, p.bootDir, "EFI/Microsoft/Boot/bootmgfw.efi");
    if (fallback && oldManager) {
      std::optional<std::string> a = volumes.ReadFile(*fallback, kFileLimit);
      std::optional<std::string> b = volumes.ReadFile(*oldManager, kFileLimit);
      if (a && b && *a == *b) files.push_back({efi + "/bootmgfw.efi", "EFI/Boot", "bootx64.efi"});
    }
  } else {
    const std::string pcat = *ResolvePath(volumes, bootDir, "PCAT");
    std::optional<std::vector<DirEntry>> entries = volumes.List(pcat);
    gathered = entries.has_value();
    for (const DirEntry& e : entries ? *entries : std::vector<DirEntry>()) {
      const std::string from = pcat + "/" + e.name;
      const bool root =
          SameNameIgnoringCase(e.name, "bootmgr") || SameNameIgnoringCase(e.name, "bootnxt");
      if (e.directory) {
        gathered = gathered && GatherTree(volumes, from, "Boot/" + e.name, &files);
      } else {
        files.push_back({from, root ? "" : "Boot", e.name});
      }
    }
    if (fonts) gathered = gathered && GatherTree(volumes, *fonts, "Boot/Fonts", &files);
  }
  std::vector<Staged> staged;
  if (!gathered || !StageFiles(volumes, p.bootDir, files, &staged)) {
    for (const Staged& s : staged) volumes.Remove(s.fresh);
    volumes.Remove(store.fresh);
    return Fail("the image's boot files cannot be copied to the boot partition");
  }
  // From here on the boot partition changes.
  staged.push_back(store);
  if (!RenameAll(volumes, staged)) return Fail("the image's boot files cannot be put in place");
  BootFilesResult r;
  r.notes.push_back("done: placed " + std::to_string(files.size()) + " boot files of the image");
  r.notes.push_back("done: " + how);
  return r;
}

BootFilesResult KeepOwnBootFiles(VolumeAccess& volumes, ToolRunner& tools, const BootPlacement& p) {
  BootFilesResult r;
  std::optional<std::string> path = ResolvePath(volumes, p.bootDir, StorePath(p.uefi));
  std::optional<std::string> bytes;
  if (path) bytes = volumes.ReadFile(*path, kStoreLimit);
  std::optional<HiveKey> own;
  if (bytes) own = ReadHive(*bytes);
  if (own && DefaultStartsWindowsOn(*own, p.bcd.windows)) return r;
  std::optional<HiveKey> machine;
  if (p.machineStore) machine = ReadHive(*p.machineStore);
  std::optional<std::string> script;
  if (machine) script = KeepStoreScript(*machine, p.bcd);
  if (!script) {
    r.notes.push_back("warning: the image's boot store does not start the written partition");
    return r;
  }
  Staged store;
  std::string detail;
  if (!StageStore(volumes, tools, p, *p.machineStore, *script, "", &store, &detail))
    return Fail(detail);
  if (!RenameAll(volumes, {store})) return Fail("the boot store cannot be put in place");
  r.notes.push_back("done: replaced the image's boot store by the machine's");
  return r;
}

}  // namespace restore
}  // namespace kavi

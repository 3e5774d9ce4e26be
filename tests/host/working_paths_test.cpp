#include "host/working_paths.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <thread>

#include "host/host_facts.h"

namespace kavi {
namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;

// A machine's drives as the tests describe them.
class FakeDrives : public DriveQueries {
 public:
  struct Drive {
    bool fixed = true;
    uint64_t freeBytes = 0;
    bool freeReadable = true;
    bool hasWorkFolder = false;
  };
  std::map<wchar_t, Drive> drives;
  mutable std::set<wchar_t> asked;

  bool IsFixedDrive(wchar_t letter) const override {
    asked.insert(letter);
    auto it = drives.find(letter);
    return it != drives.end() && it->second.fixed;
  }
  bool IsDirectory(const std::wstring& path) const override {
    if (path.size() != 11 || path.substr(1) != L":\\DURozazo") return false;
    auto it = drives.find(path[0]);
    return it != drives.end() && it->second.hasWorkFolder;
  }
  bool FreeBytes(wchar_t letter, uint64_t* freeBytes) const override {
    auto it = drives.find(letter);
    if (it == drives.end() || !it->second.freeReadable) return false;
    *freeBytes = it->second.freeBytes;
    return true;
  }
};

TEST(ChooseWorkDrive, TiesGoToTheEarlierLetter) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB};
  m.drives[L'D'] = {true, 10 * kGiB};
  m.drives[L'E'] = {true, 10 * kGiB};
  EXPECT_EQ(L'D', ChooseWorkDrive(m, L'C'));
}

TEST(ChooseWorkDrive, MostFreeSpaceWins) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB};
  m.drives[L'D'] = {true, 10 * kGiB};
  m.drives[L'E'] = {true, 20 * kGiB};
  EXPECT_EQ(L'E', ChooseWorkDrive(m, L'C'));
}

TEST(ChooseWorkDrive, ExistingWorkFolderIsReusedOverSpace) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB};
  m.drives[L'D'] = {true, 100 * kGiB};
  m.drives[L'F'] = {true, 1 * kGiB, true, true};
  EXPECT_EQ(L'F', ChooseWorkDrive(m, L'C'));
}

TEST(ChooseWorkDrive, WorkFolderOnSystemDriveIsNotReused) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB, true, true};
  m.drives[L'D'] = {true, 10 * kGiB};
  EXPECT_EQ(L'D', ChooseWorkDrive(m, L'C'));
}

TEST(ChooseWorkDrive, LowerCaseSystemLetterIsSkippedInBothPasses) {
  FakeDrives m;
  m.drives[L'C'] = {true, 90 * kGiB, true, true};
  m.drives[L'D'] = {true, 10 * kGiB};
  EXPECT_EQ(L'D', ChooseWorkDrive(m, L'c'));
}

TEST(ChooseWorkDrive, ZIsNeverExamined) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB};
  m.drives[L'Z'] = {true, 500 * kGiB, true, true};
  EXPECT_EQ(L'C', ChooseWorkDrive(m, L'C'));
  EXPECT_EQ(0u, m.asked.count(L'Z'));
  EXPECT_EQ(1u, m.asked.count(L'A'));
  EXPECT_EQ(1u, m.asked.count(L'Y'));
}

TEST(ChooseWorkDrive, RemovableAndNetworkDrivesNeverQualify) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB};
  m.drives[L'E'] = {false, 500 * kGiB, true, true};
  m.drives[L'F'] = {false, 500 * kGiB};
  EXPECT_EQ(L'C', ChooseWorkDrive(m, L'C'));
}

TEST(ChooseWorkDrive, FourGiBIsTheLeastThatQualifies) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB};
  m.drives[L'D'] = {true, 4 * kGiB - 1};  // 3.99.. GiB
  EXPECT_EQ(L'C', ChooseWorkDrive(m, L'C'));
  m.drives[L'D'].freeBytes = 4 * kGiB;
  EXPECT_EQ(L'D', ChooseWorkDrive(m, L'C'));
}

TEST(ChooseWorkDrive, UnreadableFreeSpaceDoesNotQualify) {
  FakeDrives m;
  m.drives[L'C'] = {true, 50 * kGiB};
  m.drives[L'D'] = {true, 80 * kGiB, false};
  m.drives[L'E'] = {true, 5 * kGiB};
  EXPECT_EQ(L'E', ChooseWorkDrive(m, L'C'));
}

HostPaths SampleHost() {
  HostPaths host;
  host.windowsDirectory = L"C:\\WINDOWS";
  host.modulePath = L"C:\\Program Files\\Kavi\\kavi.exe";
  host.tools.folder = L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1";
  host.windowsEdition = 1;
  return host;
}

TEST(DeriveWorkingPaths, EveryFieldFromTheFactsAndTheDrive) {
  WorkingFields f = DeriveWorkingPaths(WorkingFields(), SampleHost(), L'D');
  EXPECT_EQ(L'C', f.systemDrive);
  EXPECT_EQ(L'C', f.bootDrive);
  EXPECT_EQ(L"C:\\Program Files\\Kavi", f.programFolder);
  EXPECT_EQ(L"D:\\DURozazo", f.workFolder);
  EXPECT_EQ(L"D:\\DURozazo\\DataBackup", f.dataBackupFolder);
  EXPECT_EQ(L"D:\\DURozazo\\Download", f.downloadFolder);
  EXPECT_EQ(L"D:\\DURozazo\\SYS.GHO", f.systemBackupImagePath);
  EXPECT_EQ(L"C:\\Program Files\\Kavi\\cache", f.cacheFolder);
  EXPECT_EQ(L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1", f.toolsFolder);
  EXPECT_EQ(L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1\\bcdedit.exe", f.bcdeditPath);
  EXPECT_EQ(L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1\\dspt.exe", f.dsptPath);
  EXPECT_EQ(L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1\\bcdboot.exe", f.bcdbootPath);
  EXPECT_EQ(L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1\\bcdsect.exe", f.bcdsectPath);
  EXPECT_EQ(1, f.windowsEdition);
}

TEST(DeriveWorkingPaths, ModulePathWithoutBackslashGivesRootCache) {
  HostPaths host = SampleHost();
  host.modulePath = L"kavi.exe";
  WorkingFields f = DeriveWorkingPaths(WorkingFields(), host, L'D');
  EXPECT_EQ(L"", f.programFolder);
  EXPECT_EQ(L"\\cache", f.cacheFolder);
}

TEST(DeriveWorkingPaths, FailedTemplatesLookUpPutsToolsAtTheRoot) {
  HostPaths host = SampleHost();
  host.tools.folder.clear();
  WorkingFields f = DeriveWorkingPaths(WorkingFields(), host, L'C');
  EXPECT_EQ(L"\\bcdedit.exe", f.bcdeditPath);
  EXPECT_EQ(L"C:\\DURozazo", f.workFolder);
}

// Only systems without user account control keep the tools in the user's
// Templates folder; an unknown one counts as a later one, and a protected
// folder that could not be made names no tool at all.
TEST(ToolsFolder, OnlyOldSystemsUseTemplatesAndAFailedProtectionNamesNoTool) {
  const std::wstring templates = L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1";
  const std::wstring appData = L"C:\\PROGRA~3";
  const struct {
    int32_t edition;
    const wchar_t* folder;
    bool protect;
  } cases[] = {
      {kEditionWindows2000, L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1", false},
      {kEditionWindows2003, L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1", false},
      {kEditionVista, L"C:\\PROGRA~3\\Kavi\\tools", true},
      {kEditionWindows10x64, L"C:\\PROGRA~3\\Kavi\\tools", true},
      {kEditionOther, L"C:\\PROGRA~3\\Kavi\\tools", true},
      {-1, L"C:\\PROGRA~3\\Kavi\\tools", true},
  };
  for (const auto& c : cases) {
    const ToolsFolderChoice choice = ChooseToolsFolder(c.edition, templates, appData);
    EXPECT_EQ(c.folder, choice.folder) << c.edition;
    EXPECT_EQ(c.protect, choice.protect) << c.edition;
    if (c.protect) {
      EXPECT_EQ(L"C:\\PROGRA~3\\Kavi", choice.protectFrom);
    }
  }
  EXPECT_TRUE(ChooseToolsFolder(kEditionWindows7x64, templates, L"").folder.empty());

  HostPaths host = SampleHost();
  host.tools = {L"", true, L""};
  const WorkingFields f = DeriveWorkingPaths(WorkingFields(), host, L'D');
  EXPECT_EQ(L"", f.bcdeditPath);
  EXPECT_EQ(L"", f.dsptPath);
  EXPECT_EQ(L"", f.bcdbootPath);
  EXPECT_EQ(L"", f.bcdsectPath);
}

// What the tools folder's security must be, from what Windows reads back.
TEST(ToolsFolder, OnlyAnAdministratorsOnlyDaclIsAccepted) {
  const std::wstring user = L"S-1-5-21-1-2-3-1000";
  const FolderSecurity::Ace system{true, false, kSystemSid, 0x1F01FF};
  const FolderSecurity::Ace admins{true, false, kAdministratorsSid, 0x1F01FF};
  const FolderSecurity::Ace ownerReads{true, false, kOwnerRightsSid, 0x20000};
  const FolderSecurity made{kAdministratorsSid, true, true, {system, admins, ownerReads}};
  const struct {
    const char* what;
    std::function<void(FolderSecurity*)> change;
    bool accepted;
  } cases[] = {
      {"as made", [](FolderSecurity*) {}, true},
      {"owned by the user, OWNER RIGHTS reading only", [&](FolderSecurity* s) { s->owner = user; },
       true},
      {"owned by the user, no OWNER RIGHTS entry",
       [&](FolderSecurity* s) {
         s->owner = user;
         s->aces.pop_back();
       },
       false},
      {"OWNER RIGHTS may change the DACL",
       [&](FolderSecurity* s) {
         s->owner = user;
         s->aces.back().mask = 0x60000;
       },
       false},
      {"inherits from above", [](FolderSecurity* s) { s->isProtected = false; }, false},
      {"null DACL", [](FolderSecurity* s) { s->hasDacl = false; }, false},
      {"the user may read",
       [&](FolderSecurity* s) {
         s->aces.push_back({true, false, user, 0x1200A9});
       },
       false},
      {"everyone is denied",
       [&](FolderSecurity* s) {
         s->aces.push_back({false, false, L"S-1-1-0", 0x1F01FF});
       },
       true},
      {"an object entry",
       [&](FolderSecurity* s) {
         s->aces.push_back({false, true, L"", 0});
       },
       false},
  };
  for (const auto& c : cases) {
    FolderSecurity security = made;
    c.change(&security);
    EXPECT_EQ(c.accepted, IsAdministratorsOnly(security)) << c.what;
  }
  // Found in place, it is reused only when an administrator owns it too: a
  // user who made it could have filled it before tightening it.
  FolderSecurity userOwned = made;
  userOwned.owner = user;
  EXPECT_TRUE(IsOursToReuse(made));
  EXPECT_FALSE(IsOursToReuse(userOwned));
}

TEST(DeriveWorkingPaths, LongPathsAreKeptWhole) {
  HostPaths host = SampleHost();
  host.modulePath = L"C:\\" + std::wstring(400, L'x') + L"\\kavi.exe";
  WorkingFields f = DeriveWorkingPaths(WorkingFields(), host, L'D');
  EXPECT_EQ(3u + 400u + 6u, f.cacheFolder.size());
}

TEST(DeriveWorkingPaths, VersionAndCurrentImageSurvive) {
  WorkingFields before;
  before.currentVersion = L"7.8.12";
  before.currentImagePath = L"D:\\DURozazo\\Download\\a.gho";
  WorkingFields f = DeriveWorkingPaths(before, SampleHost(), L'D');
  EXPECT_EQ(L"7.8.12", f.currentVersion);
  EXPECT_EQ(L"D:\\DURozazo\\Download\\a.gho", f.currentImagePath);
}

TEST(WorkingState, SetWorkFolderKeepsDerivedFolders) {
  WorkingState state;
  state.Reset(DeriveWorkingPaths(WorkingFields(), SampleHost(), L'D'));
  state.SetWorkFolder(L"E:\\Elsewhere");
  EXPECT_EQ(L"E:\\Elsewhere", state.GetWorkFolder());
  EXPECT_EQ(L"D:\\DURozazo\\Download", state.GetDownloadFolder());
  state.SetWorkFolder(nullptr);
  EXPECT_EQ(L"", state.GetWorkFolder());
}

TEST(WorkingState, ReadersOnOtherThreadsSeeWholeValues) {
  WorkingState state;
  const std::wstring a(1000, L'a'), b(2000, L'b');
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) state.SetCurrentImage(i % 2 ? a : b, i % 2 ? L"A" : L"B");
  });
  for (int i = 0; i < 2000; ++i) {
    std::wstring path = state.GetCurrentImagePath();
    EXPECT_TRUE(path.empty() || path == a || path == b);
  }
  writer.join();
}

TEST(FolderOfPath, CutsAtTheLastBackslash) {
  EXPECT_EQ(L"D:\\DURozazo\\Download", FolderOfPath(L"D:\\DURozazo\\Download\\win7.gho"));
  EXPECT_EQ(L"D:", FolderOfPath(L"D:\\x"));
  EXPECT_EQ(L"", FolderOfPath(L"nofolder"));
}

}  // namespace
}  // namespace kavi

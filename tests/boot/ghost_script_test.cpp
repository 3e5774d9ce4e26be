// The Ghost task script texts and bytes.
#include "boot/ghost_script.h"

#include <gtest/gtest.h>

#include <map>

#include "boot/disk_map.h"
#include "tests/boot/fake_disk_devices.h"

namespace kavi {
namespace {

using namespace testing_disks;

GhostPartitionLookup FixedLookup(std::map<wchar_t, std::wstring> ids) {
  return [ids](wchar_t letter) {
    auto it = ids.find(letter);
    return it == ids.end() ? std::wstring() : it->second;
  };
}

const GhostPartitionLookup kCOnOneDDisk = FixedLookup({{L'C', L"1:1"}, {L'D', L"1:2"}});

TEST(GhostScript, BackupExampleByteForByte) {
  const std::optional<std::wstring> text =
      BuildGhostBackupScript(kCOnOneDDisk, L'C', L"D:\\DURozazo\\SYS.GHO");
  ASSERT_TRUE(text);
  const std::optional<std::string> bytes = GhostScriptBytes(*text);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(
      "Ghost.exe -nousb -clone,mode=pdump,src=\"1:1\",dst=\"1:2\\DURozazo\\SYS.GHO\" -sure -rb "
      "-crcignore -fro -z3 -auto -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      *bytes);
}

TEST(GhostScript, RestoreExampleByteForByte) {
  const std::optional<std::wstring> text =
      BuildGhostRestoreScript(kCOnOneDDisk, L"D:\\DURozazo\\SYS.GHO", L'C');
  ASSERT_TRUE(text);
  const std::optional<std::string> bytes = GhostScriptBytes(*text);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(
      "Ghost.exe -nousb -clone,mode=pload,src=\"1:2\\DURozazo\\SYS.GHO:1\",dst=\"1:1\" -fro "
      "-crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      *bytes);
}

TEST(GhostScript, ABackupOntoTheSystemPartitionItselfIsStillWritten) {
  const std::optional<std::wstring> text =
      BuildGhostBackupScript(kCOnOneDDisk, L'C', L"C:\\DURozazo\\SYS.GHO");
  ASSERT_TRUE(text);
  EXPECT_NE(std::wstring::npos, text->find(L"src=\"1:1\",dst=\"1:1\\DURozazo\\SYS.GHO\""));
}

TEST(GhostScript, AnImageOnASecondDiskThroughTheDiskMap) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}}), DriveLayout({{kMiB, 1}, {40 * kGiB, 2}})};
  devices.AddVolume(L'C', 0, kMiB);
  devices.AddVolume(L'F', 1, 40 * kGiB);
  const DiskList disks = EnumerateDisks(devices);
  const GhostPartitionLookup lookup = [&](wchar_t letter) {
    return GhostPartitionId(disks, devices, letter, L'C');
  };
  const std::optional<std::wstring> text =
      BuildGhostRestoreScript(lookup, L"f:\\DURozazo\\Download\\win7.gho", L'C');
  ASSERT_TRUE(text);
  EXPECT_NE(std::wstring::npos,
            text->find(L"src=\"2:2\\DURozazo\\Download\\win7.gho:1\",dst=\"1:1\""));
}

TEST(GhostScript, UnresolvedPartitionsFailBeforeAnyText) {
  EXPECT_FALSE(BuildGhostBackupScript(kCOnOneDDisk, L'E', L"D:\\x.gho"));
  EXPECT_FALSE(BuildGhostBackupScript(kCOnOneDDisk, L'C', L"E:\\x.gho"));
  EXPECT_FALSE(BuildGhostRestoreScript(kCOnOneDDisk, L"E:\\x.gho", L'C'));
  EXPECT_FALSE(BuildGhostRestoreScript(kCOnOneDDisk, L"D:\\x.gho", L'E'));
  // Paths without a drive: nothing is read past their end.
  for (const wchar_t* path : {L"", L"D", L"D:", L"\\\\server\\share\\x.gho", L"DD\\x.gho"}) {
    EXPECT_FALSE(BuildGhostBackupScript(kCOnOneDDisk, L'C', path));
    EXPECT_FALSE(BuildGhostRestoreScript(kCOnOneDDisk, path, L'C'));
  }
}

TEST(GhostScriptBytes, ChineseFoldersBecomeCodePage936WithNoBomOrZero) {
  const std::optional<std::wstring> text =
      BuildGhostRestoreScript(kCOnOneDDisk, L"D:\\系统备份\\SYS.GHO", L'C');
  ASSERT_TRUE(text);
  const std::optional<std::string> bytes = GhostScriptBytes(*text);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(
      "Ghost.exe -nousb -clone,mode=pload,src=\"1:2\\\xCF\xB5\xCD\xB3\xB1\xB8\xB7\xDD"
      "\\SYS.GHO:1\",dst=\"1:1\" -fro -crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\n"
      "restart\r\n",
      *bytes);
  EXPECT_EQ(text->size() + 4, bytes->size());
}

TEST(GhostScriptBytes, ACharacterWithoutAnAnsiFormFails) {
  EXPECT_FALSE(GhostScriptBytes(L"Ghost.exe src=\"1:2\\\xD55C\\x.gho\""));  // Hangul
  EXPECT_EQ("", GhostScriptBytes(L"").value());
}

TEST(GhostScriptPath, RootOfTheBootDrive) {
  EXPECT_EQ(L"C:\\Ghost.ba_", GhostScriptPath(L'C'));
  EXPECT_EQ(L"D:\\Ghost.ba_", GhostScriptPath(L'D'));
}

}  // namespace
}  // namespace kavi

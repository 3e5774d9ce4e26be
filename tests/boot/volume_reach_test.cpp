// A takeover whose system partition, or the image's, the next boot will not
// find or read is refused before anything is written.
#include "boot/volume_reach.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "boot/boot_entries.h"
#include "boot/takeover.h"
#include "tests/boot/fake_boot_machine.h"

namespace kavi {
namespace {

using ::testing::EndsWith;
using ::testing::IsEmpty;
using testing_boot::MachineFixture;
using namespace testing_disks;

constexpr const char* kLdmMetadata = "5808C8AA-7E8F-42E0-85D2-E1E90434CFB3";
constexpr const char* kLdmData = "AF9B60A0-1431-4F62-BC68-3311714A69AD";
constexpr const char* kBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";

TEST(VolumeReach, TakeoverRefusesVolumesTheNextBootCannotReach) {
  struct Case {
    const char* what;
    std::function<void(MachineFixture&)> arrange;
    TakeoverResult result;
    // What the restore button shows; null: the result's own text. A C: the
    // disk map does not hold (nor D: beside it) fails the button's partition
    // checks first.
    const wchar_t* shown = nullptr;
  } cases[] = {
      {"NTFS on a basic disk", [](MachineFixture&) {}, TakeoverResult::kArmed},
      {"FAT32 and FAT in either case",
       [](MachineFixture& m) {
         m.files.fileSystems[L'C'] = L"FAT32";
         m.files.fileSystems[L'D'] = L"fat";
       },
       TakeoverResult::kArmed},
      {"a name Windows does not tell", [](MachineFixture& m) { m.files.fileSystems[L'C'] = L""; },
       TakeoverResult::kArmed},
      {"ReFS", [](MachineFixture& m) { m.files.fileSystems[L'C'] = L"ReFS"; },
       TakeoverResult::kSystemFileSystem},
      {"exFAT", [](MachineFixture& m) { m.files.fileSystems[L'C'] = L"exFAT"; },
       TakeoverResult::kSystemFileSystem},
      {"an MBR dynamic disk",
       [](MachineFixture& m) {
         m.devices.drives = {DriveLayout({{kMiB, 1, 50 * kGiB, 0x42}, {50 * kGiB, 2, kGiB, 0x42}})};
       },
       TakeoverResult::kSystemOnDynamicDisk},
      {"a GPT dynamic disk, C: no partition of its table",
       [](MachineFixture& m) {
         m.devices.drives = {GptDriveLayout(
             "11111111-2222-3333-4444-555555555555",
             {{kMiB, kMiB, kLdmMetadata, "A1000000-0000-0000-0000-000000000001"},
              {2 * kMiB, 60 * kGiB, kLdmData, "A1000000-0000-0000-0000-000000000002"}})};
         m.devices.AddVolume(L'C', 0, 7 * kMiB);
       },
       TakeoverResult::kSystemOnDynamicDisk, L"读取还原分区发生错误。"},
      {"C: on no partition (a virtual disk)",
       [](MachineFixture& m) { m.devices.AddVolume(L'C', 0, 7 * kMiB); },
       TakeoverResult::kSystemNotAPartition, L"读取还原镜像分区发生错误。"},
      {"the image on exFAT", [](MachineFixture& m) { m.files.fileSystems[L'D'] = L"exFAT"; },
       TakeoverResult::kImageVolumeUnreachable},
      {"the image on a basic partition of a disk beside a dynamic one",
       [](MachineFixture& m) {
         m.devices.drives.push_back(GptDriveLayout(
             "11111111-2222-3333-4444-555555555555",
             {{kMiB, kMiB, kLdmMetadata, "A1000000-0000-0000-0000-000000000001"},
              {2 * kMiB, kGiB, kBasicData, "A1000000-0000-0000-0000-000000000002"}}));
       },
       TakeoverResult::kArmed},
  };
  const std::wstring image = L"D:\\DURozazo\\SYS.GHO";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineFixture m;
    c.arrange(m);
    m.disks = EnumerateDisks(m.devices);
    BootMachine machine = m.Machine();
    EXPECT_EQ(c.result, CheckTakeover(machine, kTakeoverRestore, image, nullptr));
    if (c.result == TakeoverResult::kArmed) continue;
    EXPECT_THAT(TakeoverErrorText(c.result), EndsWith(L"系统未作任何更改。"));
    // Refused at once by the button, before any question, file or tool.
    OnRestoreSystem(machine, m.ui, image);
    ASSERT_EQ(1u, m.ui.messages.size());
    EXPECT_EQ(c.shown ? c.shown : TakeoverErrorText(c.result), m.ui.messages[0].text);
    EXPECT_THAT(m.files.log, IsEmpty());
    EXPECT_THAT(m.runner.lines, IsEmpty());
  }
}

}  // namespace
}  // namespace kavi

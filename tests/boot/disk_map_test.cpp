// The disk map against a substitute device layer: probing, ordering, the
// letter pass, Ghost numbering and the volume search.
#include "boot/disk_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "boot/disk_layout.h"
#include "boot/disk_record.h"
#include "tests/boot/fake_disk_devices.h"

namespace kavi {
namespace {

using namespace testing_disks;

int CountRequests(const FakeDiskDevices& devices, DiskRequest request, size_t size) {
  return static_cast<int>(
      std::count_if(devices.requests.begin(), devices.requests.end(),
                    [&](const RequestLog& r) { return r.request == request && r.size == size; }));
}

TEST(GhostPartitionId, OneMbrDiskWithCAndD) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}, {100 * kGiB, 2}})};
  devices.AddVolume(L'C', 0, kMiB);
  devices.AddVolume(L'D', 0, 100 * kGiB);
  const DiskList disks = EnumerateDisks(devices);

  EXPECT_EQ(L"1:1", GhostPartitionId(disks, devices, L'C', L'C'));
  EXPECT_EQ(L"1:2", GhostPartitionId(disks, devices, L'D', L'C'));
  EXPECT_EQ(L"1:2", GhostPartitionId(disks, devices, L'd', L'C'));
  EXPECT_EQ(L"", GhostPartitionId(disks, devices, L'E', L'C'));
  EXPECT_EQ(0, devices.openDevices);
}

TEST(GhostPartitionId, TheSystemDiskIsGhostDiskOneWhereverWindowsPutsIt) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}}),                   // E: data
                    DriveLayout({{kMiB, 1}, {500 * kMiB, 2}}),  // recovery, C:
                    DriveLayout({{kMiB, 1}, {2 * kGiB, 2}})};   // -, F:
  devices.AddVolume(L'E', 0, kMiB);
  devices.AddVolume(L'C', 1, 500 * kMiB);
  devices.AddVolume(L'F', 2, 2 * kGiB);
  const DiskList disks = EnumerateDisks(devices);

  EXPECT_EQ(L"2:1", GhostPartitionId(disks, devices, L'E', L'C'));
  EXPECT_EQ(L"1:2", GhostPartitionId(disks, devices, L'C', L'C'));
  EXPECT_EQ(L"3:2", GhostPartitionId(disks, devices, L'F', L'C'));
  // With E: as reference, disk 0 comes first and the rest follow in order.
  EXPECT_EQ(L"2:2", GhostPartitionId(disks, devices, L'C', L'E'));
}

TEST(GhostDiskNumber, ReferenceFirstThenWindowsOrder) {
  EXPECT_EQ(1, GhostDiskNumber(0, 0));
  EXPECT_EQ(2, GhostDiskNumber(1, 0));
  EXPECT_EQ(2, GhostDiskNumber(0, 2));
  EXPECT_EQ(3, GhostDiskNumber(1, 2));
  EXPECT_EQ(1, GhostDiskNumber(2, 2));
  EXPECT_EQ(4, GhostDiskNumber(3, 2));
}

// The record names disks by Ghost number; reading it back must find the same
// Windows disk for every reference.
TEST(DiskIndexOfGhostDisk, UndoesGhostDiskNumber) {
  for (int reference = 0; reference < 4; ++reference) {
    for (int disk = 0; disk < 4; ++disk) {
      EXPECT_EQ(disk, DiskIndexOfGhostDisk(GhostDiskNumber(disk, reference), reference, 4));
    }
    EXPECT_EQ(-1, DiskIndexOfGhostDisk(5, reference, 4));
  }
}

TEST(EnumerateDisks, LogicalDrivesCountByOffsetAndContainersTakeNoPosition) {
  FakeDiskDevices devices;
  // MBR layout order: four primary slots, then the logical drives with their
  // link entries. The logical drives lie before the second primary.
  devices.drives = {DriveLayout({{kMiB, 1},
                                 {50 * kGiB, 0},  // extended container
                                 {200 * kGiB, 2},
                                 {0, 0},
                                 {50 * kGiB + 32768, 5},
                                 {80 * kGiB, 0},  // next-logical link
                                 {80 * kGiB + 32768, 6}})};
  devices.AddVolume(L'C', 0, kMiB);
  devices.AddVolume(L'D', 0, 200 * kGiB);
  devices.AddVolume(L'E', 0, 50 * kGiB + 32768);
  devices.AddVolume(L'F', 0, 80 * kGiB + 32768);
  const DiskList disks = EnumerateDisks(devices);

  ASSERT_EQ(1u, disks.size());
  ASSERT_EQ(4u, disks[0].partitions.size());
  EXPECT_EQ(L"1:1", GhostPartitionId(disks, devices, L'C', L'C'));
  EXPECT_EQ(L"1:2", GhostPartitionId(disks, devices, L'E', L'C'));
  EXPECT_EQ(L"1:3", GhostPartitionId(disks, devices, L'F', L'C'));
  EXPECT_EQ(L"1:4", GhostPartitionId(disks, devices, L'D', L'C'));
}

TEST(EnumerateDisks, SortsBySigned64BitOffset) {
  FakeDiskDevices devices;
  // Cut to 32 bits, 4 GiB would read as 0 and sort first.
  devices.drives = {DriveLayout({{4 * kGiB, 1}, {2 * kGiB, 2}, {kMiB, 3}})};
  const DiskList disks = EnumerateDisks(devices);
  ASSERT_EQ(3u, disks[0].partitions.size());
  EXPECT_EQ(kMiB, disks[0].partitions[0].startingOffset);
  EXPECT_EQ(2 * kGiB, disks[0].partitions[1].startingOffset);
  EXPECT_EQ(4 * kGiB, disks[0].partitions[2].startingOffset);
}

TEST(EnumerateDisks, UsesTheListedBufferSizesAndClosesEveryDevice) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}})};
  devices.AddVolume(L'C', 0, kMiB);
  EnumerateDisks(devices);
  EXPECT_EQ(1, CountRequests(devices, DiskRequest::kDriveLayoutEx, 5760));
  EXPECT_EQ(1, CountRequests(devices, DiskRequest::kVolumeDiskExtents, 32));
  EXPECT_EQ(1, CountRequests(devices, DiskRequest::kPartitionInfoEx, 144));
  EXPECT_EQ(3u, devices.requests.size());
  EXPECT_EQ(0, devices.openDevices);
}

TEST(EnumerateDisks, ALaterSmallerLayoutDoesNotInheritEntries) {
  std::vector<LayoutEntry> many;
  for (uint32_t i = 0; i < 10; ++i) many.push_back({(i + 1) * kGiB, i + 1});
  FakeDiskDevices devices;
  devices.drives = {DriveLayout(many), DriveLayout({{kMiB, 1}, {3 * kGiB, 2}})};
  const DiskList disks = EnumerateDisks(devices);
  ASSERT_EQ(2u, disks.size());
  EXPECT_EQ(10u, disks[0].partitions.size());
  EXPECT_EQ(2u, disks[1].partitions.size());
}

TEST(EnumerateDisks, PartitionsPastThe30thEntryDoNotAppear) {
  // 39 entries is the most the 5,760-byte buffer holds.
  std::vector<LayoutEntry> entries;
  for (uint32_t i = 0; i < 39; ++i) entries.push_back({(i + 1) * kGiB, i + 1});
  FakeDiskDevices devices;
  devices.drives = {DriveLayout(entries)};
  devices.AddVolume(L'C', 0, kGiB);
  devices.AddVolume(L'D', 0, 30 * kGiB);
  devices.AddVolume(L'E', 0, 31 * kGiB);
  const DiskList disks = EnumerateDisks(devices);
  EXPECT_EQ(30u, disks[0].partitions.size());
  EXPECT_EQ(L"1:30", GhostPartitionId(disks, devices, L'D', L'C'));
  EXPECT_EQ(L"", GhostPartitionId(disks, devices, L'E', L'C'));
}

TEST(EnumerateDisks, StopsAtTheFirstDriveThatDoesNotOpenAndProbesAtMost100) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}}), DriveLayout({{kMiB, 1}})};
  EXPECT_EQ(2u, EnumerateDisks(devices).size());
  EXPECT_EQ((std::vector<int>{0, 1, 2}), devices.openedDrives);

  FakeDiskDevices endless;
  endless.openEveryDrive = true;
  EXPECT_EQ(100u, EnumerateDisks(endless).size());
  EXPECT_EQ(99, endless.openedDrives.back());
}

TEST(EnumerateDisks, AnUnreadableLayoutKeepsItsPlaceSoIndexesStayDiskNumbers) {
  FakeDiskDevices devices;
  devices.drives = {std::nullopt, DriveLayout({{kMiB, 1}, {60 * kGiB, 2}})};
  devices.AddVolume(L'C', 1, kMiB);
  devices.AddVolume(L'D', 1, 60 * kGiB);
  const DiskList disks = EnumerateDisks(devices);

  ASSERT_EQ(2u, disks.size());
  EXPECT_FALSE(disks[0].layoutRead);
  EXPECT_TRUE(disks[0].partitions.empty());
  EXPECT_EQ(L'C', disks[1].partitions[0].letter);
  // The placeholder does not end the search for later disks.
  EXPECT_EQ(L"1:2", GhostPartitionId(disks, devices, L'D', L'C'));
  const std::optional<LetterPosition> d = FindLetterPosition(disks, L'D');
  ASSERT_TRUE(d);
  EXPECT_EQ(1, d->disk);
  EXPECT_EQ(2, d->position);
}

TEST(EnumerateDisks, LetterPassSkipsWhatItCannotPlace) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}, {10 * kGiB, 2}, {20 * kGiB, 3}, {30 * kGiB, 4}}),
                    DriveLayout({{kMiB, 1}})};
  devices.AddVolume(L'C', 0, kMiB);
  devices.volumes[L'E'] = FakeVolume{false, DiskExtents(0), PartitionInfo(0, 10 * kGiB)};
  devices.volumes[L'F'] = FakeVolume{true, std::nullopt, PartitionInfo(0, 20 * kGiB)};
  devices.volumes[L'G'] = FakeVolume{true, DiskExtents(0), std::nullopt};
  devices.AddVolume(L'H', 7, kMiB);      // disk number past the list
  devices.AddVolume(L'I', 0, 5 * kGiB);  // no partition starts there
  devices.AddVolume(L'J', 1, kMiB);      // the same offset, but on disk 1
  const DiskList disks = EnumerateDisks(devices);

  EXPECT_EQ(L'C', disks[0].partitions[0].letter);
  EXPECT_EQ(0, disks[0].partitions[1].letter);
  EXPECT_EQ(0, disks[0].partitions[2].letter);
  EXPECT_EQ(0, disks[0].partitions[3].letter);
  EXPECT_EQ(L'J', disks[1].partitions[0].letter);
  EXPECT_EQ(0, devices.openDevices);
}

TEST(EnumerateDisks, LettersAbAndZAreNeverExamined) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}, {2 * kGiB, 2}, {3 * kGiB, 3}, {4 * kGiB, 4}})};
  devices.AddVolume(L'A', 0, 2 * kGiB);
  devices.AddVolume(L'B', 0, 3 * kGiB);
  devices.AddVolume(L'Z', 0, 4 * kGiB);
  devices.AddVolume(L'C', 0, kMiB);
  const DiskList disks = EnumerateDisks(devices);

  EXPECT_EQ(23u, devices.openedVolumes.size());
  EXPECT_EQ(L'C', devices.openedVolumes.front());
  EXPECT_EQ(L'Y', devices.openedVolumes.back());
  for (wchar_t letter : {L'A', L'B', L'Z'}) {
    EXPECT_EQ(L"", GhostPartitionId(disks, devices, letter, L'C')) << char(letter);
  }
}

TEST(FindLetterPosition, AnEmptyDiskEntryEndsTheSearch) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}}), DriveLayout({{50 * kGiB, 0}}),
                    DriveLayout({{kMiB, 1}})};
  devices.AddVolume(L'C', 0, kMiB);
  devices.AddVolume(L'D', 2, kMiB);
  const DiskList disks = EnumerateDisks(devices);

  ASSERT_EQ(3u, disks.size());
  EXPECT_TRUE(disks[1].layoutRead);
  EXPECT_TRUE(disks[1].partitions.empty());
  EXPECT_EQ(L'D', disks[2].partitions[0].letter);
  EXPECT_TRUE(FindLetterPosition(disks, L'C'));
  EXPECT_FALSE(FindLetterPosition(disks, L'D'));
  EXPECT_EQ(L"", GhostPartitionId(disks, devices, L'D', L'C'));
}

TEST(FindLetterPosition, NoLetterNeverMatchesAnUnletteredPartition) {
  DiskList disks(1);
  disks[0].partitions = {{0, kMiB}, {L'C', kGiB}};
  EXPECT_FALSE(FindLetterPosition(disks, 0));
  const std::optional<LetterPosition> c = FindLetterPosition(disks, L'c');
  ASSERT_TRUE(c);
  EXPECT_EQ(2, c->position);
}

TEST(GhostPartitionId, AReferenceThatCannotBeResolvedGivesEmptyText) {
  FakeDiskDevices devices;
  devices.drives = {DriveLayout({{kMiB, 1}, {2 * kGiB, 2}})};
  devices.AddVolume(L'C', 0, kMiB);
  devices.AddVolume(L'D', 0, 2 * kGiB);
  const DiskList disks = EnumerateDisks(devices);

  devices.volumes.erase(L'C');
  EXPECT_EQ(L"", GhostPartitionId(disks, devices, L'D', L'C'));
  EXPECT_EQ(L"", GhostPartitionId(disks, devices, L'C', L'C'));
  devices.volumes[L'C'] = FakeVolume{true, std::nullopt, PartitionInfo(0, kMiB)};
  EXPECT_EQ(L"", GhostPartitionId(disks, devices, L'D', L'C'));
}

TEST(VolumeQueries, DiskNumberAndGptStyle) {
  FakeDiskDevices devices;
  devices.AddVolume(L'C', 4, kMiB, kPartitionStyleGpt);
  devices.AddVolume(L'D', 0, kMiB, kPartitionStyleMbr);
  devices.volumes[L'E'] = FakeVolume{true, std::nullopt, std::nullopt};
  devices.volumes[L'F'] = FakeVolume{true, DiskExtents(1, 0), PartitionInfo(2, kMiB)};

  EXPECT_EQ(4, DiskNumberOfVolume(devices, L'C'));
  EXPECT_EQ(0, DiskNumberOfVolume(devices, L'D'));
  EXPECT_EQ(kVolumeExtentsFailed, DiskNumberOfVolume(devices, L'E'));
  EXPECT_EQ(kVolumeExtentsFailed, DiskNumberOfVolume(devices, L'F'));  // no extent listed
  EXPECT_EQ(kVolumeNotOpened, DiskNumberOfVolume(devices, L'Q'));

  EXPECT_TRUE(IsGptVolume(devices, L'C'));
  EXPECT_FALSE(IsGptVolume(devices, L'D'));
  EXPECT_FALSE(IsGptVolume(devices, L'E'));
  EXPECT_FALSE(IsGptVolume(devices, L'F'));  // RAW style 2
  EXPECT_FALSE(IsGptVolume(devices, L'Q'));
  EXPECT_EQ(0, devices.openDevices);
}

// Volume search: three volumes, C: and a folder mount on the second.
class VolumeDevicePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    devices_.volumeNames = {kSystemReserved, kSystem, kData};
    devices_.dosDevices[L"Volume{0001}"] = L"\\Device\\HarddiskVolume1";
    devices_.dosDevices[L"Volume{0002}"] = L"\\Device\\HarddiskVolume2";
    devices_.dosDevices[L"Volume{0003}"] = L"\\Device\\HarddiskVolume3";
    devices_.mountPaths[kSystemReserved] = {};
    devices_.mountPaths[kSystem] = {L"C:\\"};
    devices_.mountPaths[kData] = {L"C:\\mnt\\data\\", L"E:\\"};
    out_ = std::tmpfile();
  }
  void TearDown() override { std::fclose(out_); }

  std::string Diagnostics() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), out_)) > 0) text.append(buffer, n);
    return text;
  }

  const std::wstring kSystemReserved = L"\\\\?\\Volume{0001}\\";
  const std::wstring kSystem = L"\\\\?\\Volume{0002}\\";
  const std::wstring kData = L"\\\\?\\Volume{0003}\\";
  FakeDiskDevices devices_;
  std::FILE* out_ = nullptr;
};

TEST_F(VolumeDevicePathTest, FindsTheVolumeMountedAtTheLetter) {
  EXPECT_EQ(L"\\Device\\HarddiskVolume2", VolumeDevicePath(devices_, L'C', out_));
  EXPECT_EQ(L"\\Device\\HarddiskVolume3", VolumeDevicePath(devices_, L'E', out_));
  EXPECT_EQ(L"Volume{0001}", devices_.queriedDosNames.front());
  EXPECT_EQ("", Diagnostics());
}

TEST_F(VolumeDevicePathTest, MatchesTheLetterExactly) {
  EXPECT_EQ(L"", VolumeDevicePath(devices_, L'c', out_));
  EXPECT_EQ("", Diagnostics());  // the end of the list is no failure
}

TEST_F(VolumeDevicePathTest, UnreadableMountPathsCountAsNoMatch) {
  devices_.mountPaths.erase(kSystemReserved);
  EXPECT_EQ(L"\\Device\\HarddiskVolume2", VolumeDevicePath(devices_, L'C', out_));
}

TEST_F(VolumeDevicePathTest, ADeviceQueryFailureEndsTheSearch) {
  devices_.dosDevices.erase(L"Volume{0001}");
  EXPECT_EQ(L"", VolumeDevicePath(devices_, L'C', out_));
  EXPECT_EQ("", Diagnostics());
}

TEST_F(VolumeDevicePathTest, WritesTheThreeDiagnosticLines) {
  devices_.firstVolumeError = 5;
  EXPECT_EQ(L"", VolumeDevicePath(devices_, L'C', out_));
  EXPECT_EQ("FindFirstVolumeW failed with error code 5\n", Diagnostics());
  devices_.firstVolumeError.reset();

  std::FILE* second = std::tmpfile();
  std::swap(out_, second);
  devices_.volumeNames = {kSystemReserved, L"\\\\?\\Volume{0002}"};
  EXPECT_EQ(L"", VolumeDevicePath(devices_, L'C', out_));
  EXPECT_EQ("FindFirstVolumeW/FindNextVolumeW returned a bad path: \\\\?\\Volume{0002}\n",
            Diagnostics());
  std::fclose(second);

  std::FILE* third = std::tmpfile();
  std::swap(out_, third);
  devices_.volumeNames = {kSystemReserved};
  devices_.endError = 21;
  EXPECT_EQ(L"", VolumeDevicePath(devices_, L'C', out_));
  EXPECT_EQ("FindNextVolumeW failed with error code 21\n", Diagnostics());
  std::fclose(third);
}

TEST_F(VolumeDevicePathTest, ANameWithNothingBetweenPrefixAndSlashIsBad) {
  devices_.volumeNames = {L"\\\\?\\"};
  EXPECT_EQ(L"", VolumeDevicePath(devices_, L'C', out_));
  EXPECT_TRUE(devices_.queriedDosNames.empty());
  EXPECT_NE(std::string::npos, Diagnostics().find("bad path"));
}

}  // namespace
}  // namespace kavi

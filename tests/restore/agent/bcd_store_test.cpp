// The store's reader and the hivexsh scripts, run by the real hivexsh on
// real hives (libhivex-bin), read back by our reader.
#include "restore/agent/bcd_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kavi {
namespace restore {
namespace {

void Put32(std::string* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>(v >> (8 * i));
}

// A hive holding only its root key (and the security cell hivex copies to
// new keys), as a starting point for hivexsh.
std::string BlankHive() {
  std::string hive(8192, '\0');
  hive.replace(0, 4, "regf");
  Put32(&hive, 4, 1), Put32(&hive, 8, 1), Put32(&hive, 20, 1), Put32(&hive, 24, 3);
  Put32(&hive, 32, 1), Put32(&hive, 0x24, 0x50), Put32(&hive, 0x28, 4096), Put32(&hive, 0x2C, 1);
  uint32_t sum = 0;
  for (size_t i = 0; i < 0x1FC; i += 4)
    sum ^= static_cast<uint8_t>(hive[i]) | static_cast<uint8_t>(hive[i + 1]) << 8 |
           static_cast<uint8_t>(hive[i + 2]) << 16 |
           uint32_t{static_cast<uint8_t>(hive[i + 3])} << 24;
  Put32(&hive, 0x1FC, sum);
  const size_t bin = 4096;
  hive.replace(bin, 4, "hbin");
  Put32(&hive, bin + 8, 4096);
  // sk at 0x20: size, "sk", flink, blink, refcount, descriptor (20 bytes)
  Put32(&hive, bin + 0x20, static_cast<uint32_t>(-48));
  hive.replace(bin + 0x24, 2, "sk");
  Put32(&hive, bin + 0x28, 0x20), Put32(&hive, bin + 0x2C, 0x20), Put32(&hive, bin + 0x30, 1);
  Put32(&hive, bin + 0x34, 20);
  hive[bin + 0x38] = 1, hive[bin + 0x3A] = 0x04, hive[bin + 0x3B] = static_cast<char>(0x80);
  // the root nk at 0x50
  const size_t nk = bin + 0x50;
  Put32(&hive, nk, static_cast<uint32_t>(-88));
  hive.replace(nk + 4, 2, "nk");
  hive[nk + 6] = 0x2C;
  Put32(&hive, nk + 4 + 0x1C, 0xFFFFFFFF), Put32(&hive, nk + 4 + 0x20, 0xFFFFFFFF);
  Put32(&hive, nk + 4 + 0x28, 0xFFFFFFFF), Put32(&hive, nk + 4 + 0x2C, 0x20);
  Put32(&hive, nk + 4 + 0x30, 0xFFFFFFFF);
  hive[nk + 4 + 0x48] = 4;
  hive.replace(nk + 4 + 0x4C, 4, "ROOT");
  Put32(&hive, nk + 88, 4096 - 0x50 - 88);
  return hive;
}

class Hive {
 public:
  explicit Hive(const std::string& name) : path_(testing::TempDir() + name) {
    std::ofstream(path_, std::ios::binary) << BlankHive();
  }
  // Runs a hivexsh script on the hive; its exit status.
  int Edit(const std::string& script) {
    std::ofstream(path_ + ".script") << script;
    return std::system(
        ("hivexsh -w -f " + path_ + ".script " + path_ + " >/dev/null 2>&1").c_str());
  }
  HiveKey Read() {
    std::stringstream bytes;
    bytes << std::ifstream(path_, std::ios::binary).rdbuf();
    std::optional<HiveKey> root = ReadHive(bytes.str());
    EXPECT_TRUE(root.has_value());
    return root.value_or(HiveKey{});
  }

 private:
  std::string path_;
};

std::string Hex(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char h[4];
    std::snprintf(h, sizeof h, i ? ",%02x" : "%02x", static_cast<uint8_t>(bytes[i]));
    out += h;
  }
  return out;
}

std::string Sz(const std::string& s) {
  std::string out;
  for (char c : s) out += std::string{c, '\0'};
  return out + std::string(2, '\0');
}

// An object with its type and string or binary elements, as hivexsh input.
std::string Object(const std::string& id, uint32_t type,
                   const std::vector<std::pair<std::string, std::string>>& elements) {
  char t[16];
  std::snprintf(t, sizeof t, "%08x", type);
  std::string s = "cd \\Objects\nadd " + id + "\ncd " + id + "\nadd Description\ncd Description\n" +
                  "setval 1\nType\ndword:0x" + t + "\ncd ..\nadd Elements\n";
  for (const auto& [element, bytes] : elements) {
    const bool device = element == "11000001" || element == "21000001";
    s += "cd \\Objects\\" + id + "\\Elements\nadd " + element + "\ncd " + element +
         "\nsetval 1\nElement\nhex:" + (device ? "3" : "1") + ":" + Hex(bytes) + "\n";
  }
  return s;
}

const BcdPartition kC{false, 0x1A2B3C4D, 105906176, {}, {}};
const BcdPartition kOtherDisk{false, 0x0BADF00D, 105906176, {}, {}};

TEST(BcdStore, DeviceElementPlacesSignatureAndOffsetAsTheBootManagerReadsThem) {
  const std::string e = EncodeBcdDevice(kC);
  ASSERT_EQ(kBcdDeviceSize, e.size());
  EXPECT_EQ(std::string("\x06\0\0\0\0\0\0\0\x48\0\0\0\0\0\0\0", 16), e.substr(16, 16));
  EXPECT_EQ(std::string("\0\0\x50\x06\0\0\0\0", 8), e.substr(32, 8));  // 101 MiB
  EXPECT_EQ(std::string("\x01\0\0\0\x4D\x3C\x2B\x1A", 8), e.substr(52, 8));
  EXPECT_EQ(kC, DecodeBcdDevice(e));
  BcdPartition gpt{true, 0, 0, *ParseGuid("5C0E3F4A-8B21-4D6E-9A7C-2F1B3D4E5A60"),
                   *ParseGuid("C41B7E09-6D2F-4A85-9E3C-5B8A1F0D7E33")};
  EXPECT_EQ(gpt, DecodeBcdDevice(EncodeBcdDevice(gpt)));
  EXPECT_FALSE(DecodeBcdDevice(std::string(kBcdDeviceSize, '\0')));
}

TEST(BcdStore, TemplateBecomesAStoreStartingTheWrittenPartition) {
  Hive h("template.hiv");
  ASSERT_EQ(0, h.Edit("add Objects\n" +
                      Object(kBootMgrId, 0x10100002, {{"12000004", Sz("Windows Boot Manager")}}) +
                      Object(kLoaderSettingsId, 0x20200003, {}) + "commit\n"));
  const HiveKey templ = h.Read();
  EXPECT_FALSE(DefaultStartsWindowsOn(templ, kC));
  EXPECT_FALSE(KeepStoreScript(templ, BcdTarget{kC, kC, false, "{x}"}));
  const BcdTarget target{kC, kC, false, "{1f2e3d4c-0000-4000-8000-00000000abcd}"};
  ASSERT_EQ(0, h.Edit(NewStoreScript(templ, target, "Windows 10")));
  const HiveKey store = h.Read();
  EXPECT_TRUE(DefaultStartsWindowsOn(store, kC));
  EXPECT_FALSE(DefaultStartsWindowsOn(store, kOtherDisk));
  for (const BcdObject& o : BcdObjects(store)) {
    if (o.id == target.loaderId) {
      EXPECT_EQ(Sz("\\Windows\\system32\\winload.exe"), o.elements.at(kElementPath));
      EXPECT_EQ(Sz("\\Windows"), o.elements.at(kElementSystemRoot));
      EXPECT_EQ(Sz(kLoaderSettingsId) + std::string(2, '\0'), o.elements.at(kElementInherit));
    }
  }
}

TEST(BcdStore, MachineStoreKeepsItsEntryForThePartitionAndDefaultsToIt) {
  Hive h("machine.hiv");
  const std::string a = "{aaaaaaaa-0000-4000-8000-000000000001}";
  const std::string b = "{bbbbbbbb-0000-4000-8000-000000000002}";
  ASSERT_EQ(0, h.Edit("add Objects\n" + Object(kBootMgrId, 0x10100002, {{"23000003", Sz(a)}}) +
                      Object(a, kBcdLoaderType,
                             {{"11000001", EncodeBcdDevice(kOtherDisk)},
                              {"21000001", EncodeBcdDevice(kOtherDisk)}}) +
                      Object(b, kBcdLoaderType,
                             {{"11000001", EncodeBcdDevice(kC)},
                              {"12000002", Sz("\\Windows\\system32\\winload.exe")},
                              {"21000001", EncodeBcdDevice(kC)},
                              {"22000002", Sz("\\WINNT")}}) +
                      "commit\n"));
  const HiveKey before = h.Read();
  EXPECT_FALSE(DefaultStartsWindowsOn(before, kC));
  const BcdPartition unnamed{false, 0x1A2B3C4D, 1048576, {}, {}};
  EXPECT_FALSE(KeepStoreScript(before, BcdTarget{unnamed, kC, true, "{x}"}));
  std::optional<std::string> script = KeepStoreScript(before, BcdTarget{kC, kC, true, "{new}"});
  ASSERT_TRUE(script);
  ASSERT_EQ(0, h.Edit(*script));
  const HiveKey after = h.Read();
  EXPECT_TRUE(DefaultStartsWindowsOn(after, kC));
  for (const BcdObject& o : BcdObjects(after)) {
    if (o.id == b) {
      EXPECT_EQ(Sz("\\Windows\\system32\\winload.efi"), o.elements.at(kElementPath));
      EXPECT_EQ(Sz("\\Windows"), o.elements.at(kElementSystemRoot));
    }
    if (o.id == a) {
      EXPECT_EQ(kOtherDisk, DecodeBcdDevice(o.elements.at(kElementDevice)));
    }
  }
  EXPECT_EQ(3u, BcdObjects(after).size());
}

}  // namespace
}  // namespace restore
}  // namespace kavi

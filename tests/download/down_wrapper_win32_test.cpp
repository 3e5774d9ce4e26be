// The binding and the download thread's work with the shipped engine,
// against a development service host of the suite's own (under Wine).
#include "download/down_wrapper.h"

#include <gtest/gtest.h>

#include <random>

#include "download/download_files_win32.h"
#include "download/md5.h"
#include "host/win32_util.h"
#include "host/working_paths.h"
#include "tests/support/devhost_client.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

std::string Bytes(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(rng());
  return data;
}

class NullPage : public DownloadPage {
 public:
  void ShowMessage(const std::wstring&) override {}
  void ShowStatus(const std::wstring&) override {}
  void ShowProgress(const ProgressTexts& t, float) override { last = t; }
  ProgressTexts last;
};

TEST(DownWrapper, MissingLibraryIsNotLoaded) {
  DownWrapper binding(L"C:\\no-such-folder\\xldl.dll");
  EXPECT_FALSE(binding.Loaded());
  EXPECT_FALSE(binding.Usable());
}

TEST(DownWrapper, LibraryWithoutEnginesExportsIsNotUsable) {
  // kernel32 has none of the exports: loaded, nothing resolved, not usable,
  // and every call is skipped without a crash.
  DownWrapper binding(L"kernel32.dll");
  EXPECT_TRUE(binding.Loaded());
  EXPECT_FALSE(binding.Usable());
  EXPECT_EQ(nullptr, binding.CreateTask(DownloadTaskRequest()));
  binding.StartTask(nullptr);
  DownloadTaskStatus status = {};
  binding.QueryTask(nullptr, &status);
  EXPECT_EQ(0, status.state);
}

TEST(DownWrapper, EveryEntryIsLookedUpByItsExportName) {
  DownWrapper b(FolderOfPath(ModuleFileName(nullptr)) + L"\\all_exports.dll");
  ASSERT_TRUE(b.Usable());
  auto p = [](auto entry) { return reinterpret_cast<const void*>(entry); };
  const void* entries[] = {p(b.XL_Init),
                           p(b.XL_UnInit),
                           p(b.XL_CreateTask),
                           p(b.XL_DeleteTask),
                           p(b.XL_StartTask),
                           p(b.XL_StopTask),
                           p(b.XL_QueryTaskInfo),
                           p(b.XL_QueryTaskInfoEx),
                           p(b.XL_SetSpeedLimit),
                           p(b.XL_SetUploadSpeedLimit),
                           p(b.XL_DelTempFile),
                           p(b.XL_SetProxy),
                           p(b.XL_SetUserAgent),
                           p(b.XL_GetFileSizeWithUrl),
                           p(b.XL_ParsePrivateUrl),
                           p(b.XL_SetAdditionInfo),
                           p(b.XL_SetFileIdAndSize)};
  for (size_t i = 0; i < sizeof(entries) / sizeof(entries[0]); ++i) {
    EXPECT_NE(nullptr, entries[i]) << "entry " << i;
  }
}

TEST(DownWrapper, ShippedEngineResolvesEveryExportItHas) {
  DownWrapper* binding = GetDownloadEngine();
  ASSERT_NE(nullptr, binding);
  EXPECT_TRUE(binding->Usable());
  EXPECT_NE(nullptr, binding->XL_QueryTaskInfoEx);
  EXPECT_NE(nullptr, binding->XL_DelTempFile);
  EXPECT_EQ(nullptr, binding->XL_SetProxy) << "not offered: no clear meaning";
  EXPECT_EQ(binding, GetDownloadEngine()) << "one binding per process";
}

class RunDownloadWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Available());
    ASSERT_TRUE(host_.SetRules("{}"));
    engine_ = GetDownloadEngine();
    ASSERT_NE(nullptr, engine_);
  }
  DownloadJob Job(const std::wstring& name, const std::wstring& md5) {
    return {host_.Url(L"/img/" + name), name, dir_.Path(), md5};
  }
  DevHost host_;
  TempFolder dir_;
  DownWrapper* engine_ = nullptr;
  NullPage page_;
  Win32DownloadFiles files_;
  DownloadFlags flags_;
};

TEST_F(RunDownloadWin32, CompleteDownloadWithTheRightMd5) {
  const std::string data = Bytes(5 * 1024 * 1024 + 3, 1);
  ASSERT_TRUE(host_.PutFile(L"/img/ok.gho", data));
  std::wstring md5;
  for (char c : Md5Hex(data.data(), data.size())) md5.push_back(static_cast<wchar_t>(toupper(c)));
  EXPECT_EQ(kDownloadComplete, RunDownload(Job(L"ok.gho", md5), *engine_, page_, flags_, files_));
  EXPECT_TRUE(ReadFileBytes(dir_ / L"ok.gho") == data);
}

TEST_F(RunDownloadWin32, WrongMd5AndMissingFile) {
  ASSERT_TRUE(host_.PutFile(L"/img/bad.gho", Bytes(100000, 2)));
  EXPECT_EQ(kDownloadMd5Mismatch, RunDownload(Job(L"bad.gho", L"00000000000000000000000000000000"),
                                              *engine_, page_, flags_, files_));
  EXPECT_EQ(kDownloadFailed, RunDownload(Job(L"absent.gho", L""), *engine_, page_, flags_, files_));
}

TEST_F(RunDownloadWin32, PauseThenStopKeepsThePartialData) {
  const std::string data = Bytes(8 * 1024 * 1024, 3);
  ASSERT_TRUE(host_.PutFile(L"/img/slow.gho", data));
  // The rate is per connection and the engine may open many: paused at its
  // first poll, even sixteen connections on a slow machine fetch only part.
  ASSERT_TRUE(host_.SetRules(R"({"/img/slow.gho": {"rate": 200000}})"));
  class PausingFiles : public Win32DownloadFiles {
   public:
    DownloadFlags* flags;
    int n = 0;
    void Sleep(int ms) override {
      ++n;
      if (n == 1) flags->paused = 1;
      if (n == 4) flags->stopRequested = 1;
      Win32DownloadFiles::Sleep(ms);
    }
  } files;
  files.flags = &flags_;
  EXPECT_EQ(kDownloadStopped, RunDownload(Job(L"slow.gho", L""), *engine_, page_, flags_, files));
  EXPECT_EQ(0, flags_.paused.load());
  EXPECT_EQ(0, flags_.stopRequested.load());
  EXPECT_FALSE(FileExists(dir_ / L"slow.gho"));
  EXPECT_TRUE(FileExists(dir_ / L"slow.gho.td"));
  EXPECT_TRUE(FileExists(dir_ / L"slow.gho.td.cfg"));
}

}  // namespace
}  // namespace kavi

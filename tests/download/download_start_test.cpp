#include "download/download_start.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

// Records each step as a word; the answers are set per case.
class ScriptedSteps : public DownloadStartSteps {
 public:
  bool exists = false, overwrite = false, engine = false;
  std::wstring log;

  bool FileExists(const std::wstring& path) override { return Log(L"exists " + path), exists; }
  bool AskOverwrite() override { return Log(L"ask"), overwrite; }
  void DeleteImage(const std::wstring& path) override { Log(L"delete " + path); }
  bool EngineReady() override { return Log(L"engine"), engine; }
  void Refuse(const std::wstring& message) override { Log(L"refuse " + message); }
  void CheckImage(const std::wstring& path) override { Log(L"check " + path); }
  void StartDownload(const DownloadJob& job, const std::wstring& path) override {
    Log(L"download " + job.url + L" " + path);
  }

 private:
  void Log(const std::wstring& step) { log += (log.empty() ? L"" : L"; ") + step; }
};

const DownloadJob kJob{L"http://h/w7.gho", L"w7.gho", L"D:\\DURozazo\\Download", L""};

TEST(StartImageDownload, KeepingTheImageNeverAsksForTheEngine) {
  ScriptedSteps steps;
  steps.exists = true;  // the answer No, and no engine at all
  EXPECT_EQ(DownloadStart::kKeptExisting, StartImageDownload(kJob, steps));
  EXPECT_EQ(L"exists D:\\DURozazo\\Download\\w7.gho; ask; check D:\\DURozazo\\Download\\w7.gho",
            steps.log);
}

TEST(StartImageDownload, OverwriteDeletesThenNeedsTheEngine) {
  ScriptedSteps yes;
  yes.exists = yes.overwrite = yes.engine = true;
  EXPECT_EQ(DownloadStart::kStarted, StartImageDownload(kJob, yes));
  EXPECT_EQ(
      L"exists D:\\DURozazo\\Download\\w7.gho; ask; delete D:\\DURozazo\\Download\\w7.gho; "
      L"engine; download http://h/w7.gho D:\\DURozazo\\Download\\w7.gho",
      yes.log);

  ScriptedSteps noEngine;  // a new download without the engine is refused
  EXPECT_EQ(DownloadStart::kRefused, StartImageDownload(kJob, noEngine));
  EXPECT_EQ(
      L"exists D:\\DURozazo\\Download\\w7.gho; engine; "
      L"refuse 下载组件加载失败，请重新安装本软件后重试！",
      noEngine.log);
}

TEST(StartImageDownload, BadNameOrAddressIsRefusedBeforeAnyFileIsLookedAt) {
  ScriptedSteps steps;
  steps.exists = steps.engine = true;
  DownloadJob job = kJob;
  job.fileName = L"..\\boot.ini";
  EXPECT_EQ(DownloadStart::kRefused, StartImageDownload(job, steps));
  job = kJob;
  job.url = L"file:///C:/w7.gho";
  EXPECT_EQ(DownloadStart::kRefused, StartImageDownload(job, steps));
  EXPECT_EQ(
      L"refuse 系统镜像的文件名不正确，无法下载，请稍后重试。; "
      L"refuse 系统镜像的下载地址不正确，无法下载，请稍后重试。",
      steps.log);
}

}  // namespace
}  // namespace kavi

#include "download/download_monitor.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

namespace kavi {
namespace {

// An engine that plays back a list of statuses, one per query.
class ScriptedEngine : public DownloadEngine {
 public:
  std::vector<DownloadTaskStatus> script;
  size_t next = 0;
  std::vector<std::string> calls;
  DownloadTaskRequest lastRequest = {};

  EngineHandle CreateTask(const DownloadTaskRequest& request) override {
    lastRequest = request;
    calls.push_back("create");
    return reinterpret_cast<EngineHandle>(0x42);
  }
  void StartTask(EngineHandle) override { calls.push_back("start"); }
  void StopTask(EngineHandle) override { calls.push_back("stop"); }
  void DeleteTask(EngineHandle) override { calls.push_back("delete"); }
  void QueryTask(EngineHandle, DownloadTaskStatus* status) override {
    calls.push_back("query");
    *status = script[std::min(next, script.size() - 1)];
    ++next;
  }
};

DownloadTaskStatus Status(int32_t state, const std::wstring& name = L"win7.gho",
                          int64_t total = 1000, int64_t done = 0) {
  DownloadTaskStatus s = {};
  s.state = state;
  SetStatusFileName(&s, name);
  s.totalSize = total;
  s.downloaded = done;
  s.fraction = total ? static_cast<float>(done) / total : 0;
  s.speed = 100;
  return s;
}

class RecordingPage : public DownloadPage {
 public:
  std::vector<std::wstring> messages, statuses;
  std::vector<ProgressTexts> progress;
  void ShowMessage(const std::wstring& t) override { messages.push_back(t); }
  void ShowStatus(const std::wstring& t) override { statuses.push_back(t); }
  void ShowProgress(const ProgressTexts& t, float) override { progress.push_back(t); }
};

class FakeFiles : public DownloadFiles {
 public:
  std::map<std::wstring, std::string> md5s;  // path -> digest
  std::vector<std::pair<std::wstring, std::wstring>> moves;
  int md5Reads = 0;
  int sleeps = 0;
  std::function<void(int)> onSleep;
  bool Move(const std::wstring& from, const std::wstring& to) override {
    moves.emplace_back(from, to);
    auto it = md5s.find(from);
    if (it == md5s.end() || md5s.count(to)) return false;
    md5s[to] = it->second;
    md5s.erase(it);
    return true;
  }
  bool Md5(const std::wstring& path, std::string* hex) override {
    ++md5Reads;
    auto it = md5s.find(path);
    if (it == md5s.end()) return false;
    *hex = it->second;
    return true;
  }
  void Sleep(int) override {
    ++sleeps;
    if (onSleep) onSleep(sleeps);
  }
};

class DownloadMonitorTest : public ::testing::Test {
 protected:
  DownloadJob job_{L"http://host/win7.gho", L"win7.gho", L"D:\\DURozazo\\Download",
                   L"0CC175B9C0F1B6A831C399E269772661"};
  ScriptedEngine engine_;
  RecordingPage page_;
  FakeFiles files_;
  DownloadFlags flags_;
  const std::wstring path_ = L"D:\\DURozazo\\Download\\win7.gho";
};

TEST_F(DownloadMonitorTest, CompleteWithMd5DifferingOnlyInCase) {
  engine_.script = {Status(2), Status(2, L"win7.gho", 1000, 500), Status(4)};
  files_.md5s[path_] = "0cc175b9c0f1b6a831c399e269772661";
  EXPECT_EQ(kDownloadComplete, RunDownload(job_, engine_, page_, flags_, files_));
  EXPECT_EQ(L"http://host/win7.gho", GetRecordText(engine_.lastRequest.url));
  EXPECT_EQ(1, engine_.lastRequest.resume);
  EXPECT_EQ(5u, engine_.lastRequest.reservedCount);
  ASSERT_EQ(2u, page_.messages.size());
  EXPECT_EQ(L"正在下载系统文件，请稍候...", page_.messages[0]);
  EXPECT_EQ(L"正在校验系统文件，此过程可能耗费几分钟的时间。", page_.messages[1]);
}

TEST_F(DownloadMonitorTest, WrongMd5IsOutcome3) {
  engine_.script = {Status(4)};
  files_.md5s[path_] = "ffffffffffffffffffffffffffffffff";
  EXPECT_EQ(kDownloadMd5Mismatch, RunDownload(job_, engine_, page_, flags_, files_));
}

TEST_F(DownloadMonitorTest, EmptyMd5SkipsReadingTheFile) {
  job_.imageMd5.clear();
  engine_.script = {Status(4)};
  EXPECT_EQ(kDownloadComplete, RunDownload(job_, engine_, page_, flags_, files_));
  EXPECT_EQ(0, files_.md5Reads);
}

TEST_F(DownloadMonitorTest, UnreadableFileCountsAsComplete) {
  engine_.script = {Status(4)};
  EXPECT_EQ(kDownloadComplete, RunDownload(job_, engine_, page_, flags_, files_));
  EXPECT_EQ(1, files_.md5Reads);
}

TEST_F(DownloadMonitorTest, EngineFailureDeletesTheTask) {
  engine_.script = {Status(2), Status(1)};
  EXPECT_EQ(kDownloadFailed, RunDownload(job_, engine_, page_, flags_, files_));
  EXPECT_EQ("delete", engine_.calls.back());
}

TEST_F(DownloadMonitorTest, FileSavedUnderAnotherNameIsMovedBeforeTheMd5) {
  engine_.script = {Status(4, L"win7(1).gho")};
  files_.md5s[L"D:\\DURozazo\\Download\\win7(1).gho"] = "0cc175b9c0f1b6a831c399e269772661";
  EXPECT_EQ(kDownloadComplete, RunDownload(job_, engine_, page_, flags_, files_));
  ASSERT_EQ(1u, files_.moves.size());
  EXPECT_EQ(L"D:\\DURozazo\\Download\\win7(1).gho", files_.moves[0].first);
  EXPECT_EQ(path_, files_.moves[0].second);
}

TEST_F(DownloadMonitorTest, EngineNameLeavingTheFolderIsNotFollowed) {
  engine_.script = {Status(4, L"..\\..\\Windows\\system.ini")};
  RunDownload(job_, engine_, page_, flags_, files_);
  EXPECT_TRUE(files_.moves.empty());
}

TEST_F(DownloadMonitorTest, PageRefreshesOnEveryFifthPoll) {
  std::vector<DownloadTaskStatus> script(11, Status(2, L"win7.gho", 1000, 10));
  script.push_back(Status(4));
  engine_.script = script;
  job_.imageMd5.clear();
  RunDownload(job_, engine_, page_, flags_, files_);
  // Polls 1..12; refresh counter starts at 1, so polls 5 and 10 refresh.
  EXPECT_EQ(2u, page_.progress.size());
  EXPECT_EQ(L"已下载：0.00MB", page_.progress[0].downloaded);
}

TEST_F(DownloadMonitorTest, StopIsOutcome2) {
  engine_.script = {Status(2)};
  files_.onSleep = [&](int n) {
    if (n == 3) flags_.stopRequested = 1;
  };
  EXPECT_EQ(kDownloadStopped, RunDownload(job_, engine_, page_, flags_, files_));
  EXPECT_EQ(0, flags_.stopRequested.load());
  const std::vector<std::string> tail(engine_.calls.end() - 2, engine_.calls.end());
  EXPECT_EQ((std::vector<std::string>{"stop", "delete"}), tail);
}

TEST_F(DownloadMonitorTest, PauseStopsAndResumesTheTask) {
  engine_.script = {Status(2), Status(2), Status(2), Status(4)};
  job_.imageMd5.clear();
  files_.onSleep = [&](int n) {
    if (n == 2) flags_.paused = 1;
    if (n == 5) flags_.paused = 0;
  };
  EXPECT_EQ(kDownloadComplete, RunDownload(job_, engine_, page_, flags_, files_));
  ASSERT_EQ(1u, page_.statuses.size());
  EXPECT_EQ(L"下载状态：已暂停", page_.statuses[0]);
  // The first sleep follows the start; the pause is seen after one poll.
  std::vector<std::string> expected = {"create", "start", "query", "stop", "start", "query"};
  EXPECT_EQ(expected, std::vector<std::string>(engine_.calls.begin(), engine_.calls.begin() + 6));
}

TEST_F(DownloadMonitorTest, StopWhilePausedClearsBothFlags) {
  engine_.script = {Status(2)};
  files_.onSleep = [&](int n) {
    if (n == 2) flags_.paused = 1;
    if (n == 6) flags_.stopRequested = 1;
  };
  EXPECT_EQ(kDownloadStopped, RunDownload(job_, engine_, page_, flags_, files_));
  EXPECT_EQ(0, flags_.paused.load());
  EXPECT_EQ(0, flags_.stopRequested.load());
  EXPECT_EQ("delete", engine_.calls.back());
}

}  // namespace
}  // namespace kavi

// The shipped xldl.dll, loaded as the program loads it, downloading from a
// development service host of its own (under Wine, with WinINet).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "download/engine_api.h"
#include "engine/download_task.h"
#include "engine/resume_state.h"
#include "host/text.h"
#include "host/win32_util.h"
#include "tests/support/devhost_client.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

struct Engine {
  HMODULE module = LoadLibraryW(L"xldl.dll");
  template <typename Fn>
  Fn Get(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  XL_InitFn init = Get<XL_InitFn>("XL_Init");
  XL_CreateTaskFn create = Get<XL_CreateTaskFn>("XL_CreateTask");
  XL_StartTaskFn start = Get<XL_StartTaskFn>("XL_StartTask");
  XL_StopTaskFn stop = Get<XL_StopTaskFn>("XL_StopTask");
  XL_DeleteTaskFn remove = Get<XL_DeleteTaskFn>("XL_DeleteTask");
  XL_QueryTaskInfoExFn query = Get<XL_QueryTaskInfoExFn>("XL_QueryTaskInfoEx");
  XL_DelTempFileFn delTemp = Get<XL_DelTempFileFn>("XL_DelTempFile");
  XL_GetFileSizeWithUrlFn fileSize = Get<XL_GetFileSizeWithUrlFn>("XL_GetFileSizeWithUrl");
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (size_t i = 0; i + 4 <= size; i += 4) {
    uint32_t v = rng();
    std::memcpy(&bytes[i], &v, 4);
  }
  return bytes;
}

class EngineWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Available()) << "run through ctest, which starts the service host";
    ASSERT_NE(nullptr, TheEngine().module) << "xldl.dll beside the test";
    ASSERT_NE(0, TheEngine().init());
    ASSERT_TRUE(host_.SetRules("{}"));
  }

  EngineHandle Create(const std::wstring& path, const std::wstring& name, bool resume = true) {
    DownloadTaskRequest request;
    EXPECT_TRUE(FillDownloadRequest(&request, host_.Url(path), name, dir_.Path()));
    request.resume = resume ? 1 : 0;
    return TheEngine().create(&request);
  }

  DownloadTaskStatus Query(EngineHandle task) {
    DownloadTaskStatus status = {};
    TheEngine().query(task, &status);
    return status;
  }

  DownloadTaskStatus WaitForEnd(EngineHandle task, int seconds = 60) {
    DownloadTaskStatus status = {};
    for (int i = 0; i < seconds * 20; ++i) {
      status = Query(task);
      if (status.state == kTaskStateFinished || status.state == kTaskStateFailed) break;
      Sleep(50);
    }
    return status;
  }

  void WaitForBytes(EngineHandle task, int64_t bytes) {
    for (int i = 0; i < 600 && Query(task).downloaded < bytes; ++i) Sleep(50);
  }

  DevHost host_;
  TempFolder dir_;
};

TEST_F(EngineWin32, DownloadsTheWholeFileOverSeveralConnections) {
  const std::string body = RandomBytes(9 * 1024 * 1024 + 321, 1);
  ASSERT_TRUE(host_.PutFile(L"/img/a.gho", body));
  EngineHandle task = Create(L"/img/a.gho", L"a.gho");
  ASSERT_NE(nullptr, task);
  TheEngine().start(task);
  DownloadTaskStatus status = WaitForEnd(task);
  ASSERT_EQ(kTaskStateFinished, status.state);
  EXPECT_EQ(L"a.gho", GetStatusFileName(status));
  EXPECT_EQ(static_cast<int64_t>(body.size()), status.totalSize);
  EXPECT_EQ(status.totalSize, status.downloaded);
  EXPECT_FLOAT_EQ(1.0f, status.fraction);
  EXPECT_TRUE(ReadFileBytes(dir_ / L"a.gho") == body);
  EXPECT_FALSE(FileExists(dir_ / L"a.gho.td"));
  EXPECT_FALSE(FileExists(dir_ / L"a.gho.td.cfg"));
  TheEngine().remove(task);
}

TEST_F(EngineWin32, ServerIgnoringRangeAndDroppingConnections) {
  const std::string body = RandomBytes(3 * 1024 * 1024, 2);
  ASSERT_TRUE(host_.PutFile(L"/img/b.gho", body));
  ASSERT_TRUE(host_.SetRules(R"({"/img/b.gho": {"ignore_range": true}})"));
  EngineHandle task = Create(L"/img/b.gho", L"b.gho");
  TheEngine().start(task);
  ASSERT_EQ(kTaskStateFinished, WaitForEnd(task).state);
  EXPECT_TRUE(ReadFileBytes(dir_ / L"b.gho") == body);
  TheEngine().remove(task);

  ASSERT_TRUE(host_.PutFile(L"/img/c.gho", body));
  ASSERT_TRUE(host_.SetRules(R"({"/img/c.gho": {"close_after": 700000}})"));
  task = Create(L"/img/c.gho", L"c.gho");
  TheEngine().start(task);
  DownloadTaskStatus status = WaitForEnd(task);
  ASSERT_EQ(kTaskStateFinished, status.state);
  EXPECT_TRUE(ReadFileBytes(dir_ / L"c.gho") == body);
  EXPECT_EQ(static_cast<int64_t>(body.size()), status.counters64[0])
      << "broken connections continue where they broke";
  TheEngine().remove(task);
}

TEST_F(EngineWin32, RedirectIsFollowedOncePerTaskAndAgainWhenItsTargetExpires) {
  const std::string body = RandomBytes(24 * 1024 * 1024 + 5, 7);
  ASSERT_TRUE(host_.PutFile(L"/store/r.gho", body));
  ASSERT_TRUE(host_.SetRules(R"({"/img/r.gho": {"redirect": "/cdn/1/r.gho"},
                                 "/cdn/1/r.gho": {"file": "/store/r.gho", "rate": 6000000}})"));
  EngineHandle task = Create(L"/img/r.gho", L"r.gho");
  TheEngine().start(task);
  WaitForBytes(task, 9 * 1024 * 1024);
  EXPECT_EQ(1, host_.RequestCount("/img/r.gho"));
  EXPECT_LE(3, host_.RequestCount("/cdn/1/r.gho")) << "the first segments went there directly";

  // The signed address expires; the first address now sends elsewhere.
  ASSERT_TRUE(host_.SetRules(R"({"/img/r.gho": {"redirect": "/cdn/2/r.gho"},
                                 "/cdn/1/r.gho": {"status": 403},
                                 "/cdn/2/r.gho": {"file": "/store/r.gho"}})"));
  DownloadTaskStatus status = WaitForEnd(task);
  ASSERT_EQ(kTaskStateFinished, status.state);
  EXPECT_TRUE(ReadFileBytes(dir_ / L"r.gho") == body);
  EXPECT_LE(2, host_.RequestCount("/img/r.gho"));
  EXPECT_LE(1, host_.RequestCount("/cdn/2/r.gho"));
  TheEngine().remove(task);
}

TEST_F(EngineWin32, NotFoundFailsPromptly) {
  EngineHandle task = Create(L"/img/missing.gho", L"missing.gho");
  TheEngine().start(task);
  DownloadTaskStatus status = WaitForEnd(task, 15);
  EXPECT_EQ(kTaskStateFailed, status.state);
  EXPECT_EQ(404, status.failureCode);
  EXPECT_FALSE(FileExists(dir_ / L"missing.gho"));
  TheEngine().remove(task);
}

TEST_F(EngineWin32, RefusedCertificateFailsAtOnce) {
  if (host_.UntrustedUrl(L"/").empty()) GTEST_SKIP() << "the host has no TLS listener (openssl)";
  ASSERT_TRUE(host_.PutFile(L"/img/tls.gho", RandomBytes(65536, 9)));
  DownloadTaskRequest request;
  ASSERT_TRUE(
      FillDownloadRequest(&request, host_.UntrustedUrl(L"/img/tls.gho"), L"tls.gho", dir_.Path()));
  EngineHandle task = TheEngine().create(&request);
  TheEngine().start(task);
  DownloadTaskStatus status = WaitForEnd(task, 60);
  EXPECT_EQ(kTaskStateFailed, status.state);
  EXPECT_EQ(engine::kFailCertificate, status.failureCode) << "not retried as a network error";
  EXPECT_FALSE(FileExists(dir_ / L"tls.gho"));
  TheEngine().remove(task);
}

TEST_F(EngineWin32, StopKeepsTheDataAndStartContinues) {
  const std::string body = RandomBytes(12 * 1024 * 1024, 3);
  ASSERT_TRUE(host_.PutFile(L"/img/d.gho", body));
  ASSERT_TRUE(host_.SetRules(R"({"/img/d.gho": {"rate": 1500000}})"));
  EngineHandle task = Create(L"/img/d.gho", L"d.gho");
  TheEngine().start(task);
  WaitForBytes(task, 2 * 1024 * 1024);
  TheEngine().stop(task);
  DownloadTaskStatus stopped = Query(task);
  EXPECT_NE(kTaskStateFinished, stopped.state);
  EXPECT_NE(kTaskStateFailed, stopped.state);
  EXPECT_GT(stopped.downloaded, 0);
  EXPECT_TRUE(FileExists(dir_ / L"d.gho.td"));
  EXPECT_TRUE(FileExists(dir_ / L"d.gho.td.cfg"));

  ASSERT_TRUE(host_.SetRules("{}"));
  TheEngine().start(task);
  DownloadTaskStatus status = WaitForEnd(task);
  ASSERT_EQ(kTaskStateFinished, status.state);
  EXPECT_TRUE(ReadFileBytes(dir_ / L"d.gho") == body);
  EXPECT_EQ(static_cast<int64_t>(body.size()), status.counters64[0])
      << "nothing is fetched twice across a stop";
  TheEngine().remove(task);
}

TEST_F(EngineWin32, DeletedTaskResumesInANewTask) {
  const std::string body = RandomBytes(8 * 1024 * 1024, 4);
  ASSERT_TRUE(host_.PutFile(L"/img/e.gho", body));
  ASSERT_TRUE(host_.SetRules(R"({"/img/e.gho": {"rate": 1500000}})"));
  EngineHandle task = Create(L"/img/e.gho", L"e.gho");
  TheEngine().start(task);
  WaitForBytes(task, 2 * 1024 * 1024);
  TheEngine().stop(task);
  const int64_t kept = Query(task).downloaded;
  TheEngine().remove(task);

  ASSERT_TRUE(host_.SetRules("{}"));
  task = Create(L"/img/e.gho", L"e.gho");
  TheEngine().start(task);
  DownloadTaskStatus status = WaitForEnd(task);
  ASSERT_EQ(kTaskStateFinished, status.state);
  EXPECT_TRUE(ReadFileBytes(dir_ / L"e.gho") == body);
  EXPECT_EQ(static_cast<int64_t>(body.size()) - kept, status.counters64[0]);
  TheEngine().remove(task);
}

TEST_F(EngineWin32, KilledProcessResumesFromItsStateFile) {
  const std::string body = RandomBytes(10 * 1024 * 1024, 5);
  ASSERT_TRUE(host_.PutFile(L"/img/f.gho", body));
  ASSERT_TRUE(host_.SetRules(R"({"/img/f.gho": {"rate": 1000000}})"));

  // A child process of this test downloads until it is killed.
  std::wstring command = L"\"" + ModuleFileName(nullptr) +
                         L"\" --gtest_filter=EngineChild.* --gtest_also_run_disabled_tests";
  SetEnvironmentVariableW(L"KAVI_ENGINE_CHILD_DIR", dir_.Path().c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  UniqueHandle child(process.hProcess), thread(process.hThread);
  // Wait for a state file that records something, then kill. However late
  // the child starts on a loaded machine, it downloads for two minutes.
  engine::ResumeState state;
  int64_t recorded = 0;
  while (recorded < 2 * 1024 * 1024 && WaitForSingleObject(child.Get(), 50) == WAIT_TIMEOUT) {
    if (engine::ParseResumeState(ReadFileBytes(dir_ / L"f.gho.td.cfg"), &state)) {
      recorded = 0;
      for (const auto& r : state.written) recorded += r.end - r.begin;
    }
  }
  TerminateProcess(child.Get(), 9);
  WaitForSingleObject(child.Get(), 10000);
  ASSERT_TRUE(engine::ParseResumeState(ReadFileBytes(dir_ / L"f.gho.td.cfg"), &state));
  recorded = 0;
  for (const auto& r : state.written) recorded += r.end - r.begin;
  ASSERT_GT(recorded, 0);

  ASSERT_TRUE(host_.SetRules("{}"));
  EngineHandle task = Create(L"/img/f.gho", L"f.gho");
  TheEngine().start(task);
  DownloadTaskStatus status = WaitForEnd(task);
  ASSERT_EQ(kTaskStateFinished, status.state);
  EXPECT_TRUE(ReadFileBytes(dir_ / L"f.gho") == body);
  EXPECT_EQ(static_cast<int64_t>(body.size()) - recorded, status.counters64[0])
      << "what the state file recorded is not fetched again";
  TheEngine().remove(task);
}

// Run only as the child of KilledProcessResumesFromItsStateFile.
TEST(EngineChild, DISABLED_DownloadUntilKilled) {
  DevHost host;
  wchar_t dir[MAX_PATH] = {};
  GetEnvironmentVariableW(L"KAVI_ENGINE_CHILD_DIR", dir, MAX_PATH);
  ASSERT_NE(0, TheEngine().init());
  DownloadTaskRequest request;
  ASSERT_TRUE(FillDownloadRequest(&request, host.Url(L"/img/f.gho"), L"f.gho", dir));
  EngineHandle task = TheEngine().create(&request);
  TheEngine().start(task);
  Sleep(120000);
}

TEST_F(EngineWin32, RequestsThatWouldLeaveTheFolderAreRefused) {
  for (const wchar_t* name : {L"..\\evil.gho", L"C:\\evil.gho", L"a/b.gho", L"CON", L""}) {
    DownloadTaskRequest request;
    FillDownloadRequest(&request, host_.Url(L"/img/x.gho"), name, dir_.Path());
    EXPECT_EQ(nullptr, TheEngine().create(&request)) << name;
  }
  EXPECT_EQ(0, TheEngine().start(reinterpret_cast<EngineHandle>(0x1234)));
  DownloadTaskStatus status;
  EXPECT_EQ(0, TheEngine().query(nullptr, &status));
}

TEST_F(EngineWin32, FileSizeAndTempFileDeletion) {
  const std::string body = RandomBytes(100000, 6);
  ASSERT_TRUE(host_.PutFile(L"/img/g.gho", body));
  int64_t size = 0;
  ASSERT_NE(0, TheEngine().fileSize(host_.Url(L"/img/g.gho").c_str(), &size));
  EXPECT_EQ(100000, size);

  ASSERT_TRUE(WriteFileBytes(dir_ / L"g.gho.td", "partial"));
  ASSERT_TRUE(WriteFileBytes(dir_ / L"g.gho.td.cfg", "state"));
  DownloadTaskRequest request;
  FillDownloadRequest(&request, host_.Url(L"/img/g.gho"), L"g.gho", dir_.Path());
  EXPECT_NE(0, TheEngine().delTemp(&request));
  EXPECT_FALSE(FileExists(dir_ / L"g.gho.td"));
  EXPECT_FALSE(FileExists(dir_ / L"g.gho.td.cfg"));
}

}  // namespace
}  // namespace kavi

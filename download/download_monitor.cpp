#include "download/download_monitor.h"

#include <cctype>

#include "download/file_names.h"

namespace kavi {
namespace {

constexpr int kPollMs = 200;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

int Stop(DownloadEngine& engine, EngineHandle task, DownloadFlags& flags) {
  engine.StopTask(task);
  engine.DeleteTask(task);
  flags.stopRequested = 0;
  flags.paused = 0;
  return kDownloadStopped;
}

}  // namespace

DownloadFlags& DownloadControlFlags() {
  static DownloadFlags flags;
  return flags;
}

bool Md5TextsMatch(const std::string& fileMd5, const std::wstring& catalogueMd5) {
  std::string expected;
  for (wchar_t c : catalogueMd5) {
    // A digest is ASCII; anything else cannot match.
    expected.push_back(c < 128 ? static_cast<char>(c) : '\x01');
  }
  return Upper(Trim(fileMd5)) == Upper(expected);
}

int RunDownload(const DownloadJob& job, DownloadEngine& engine, DownloadPage& page,
                DownloadFlags& flags, DownloadFiles& files) {
  page.ShowMessage(L"正在下载系统文件，请稍候...");
  DownloadTaskRequest request;
  FillDownloadRequest(&request, job.url, job.fileName, job.downloadFolder);
  EngineHandle task = engine.CreateTask(request);
  engine.StartTask(task);

  DownloadTaskStatus status = {};
  status.state = 2;
  int refresh = 1;
  files.Sleep(kPollMs);
  for (;;) {
    if (flags.stopRequested) return Stop(engine, task, flags);
    if (flags.paused) {
      engine.StopTask(task);
      page.ShowStatus(L"下载状态：已暂停");
      while (flags.paused) {
        if (flags.stopRequested) return Stop(engine, task, flags);
        files.Sleep(kPollMs);
      }
      engine.StartTask(task);
    }
    engine.QueryTask(task, &status);
    const std::wstring savedName = GetStatusFileName(status);
    if (refresh == 0) {
      page.ShowProgress(MakeProgressTexts(job.downloadFolder, savedName, status.totalSize,
                                          status.downloaded, status.fraction, status.speed),
                        status.fraction);
    }
    if (status.state == kTaskStateFinished) {
      // Only a plain name from the engine is followed: nothing outside the
      // download folder is ever moved.
      if (savedName != job.fileName && IsPlainFileName(savedName)) {
        files.Move(job.downloadFolder + L"\\" + savedName,
                   job.downloadFolder + L"\\" + job.fileName);
      }
      page.ShowMessage(L"正在校验系统文件，此过程可能耗费几分钟的时间。");
      if (job.imageMd5.empty()) return kDownloadComplete;
      std::string md5;
      if (!files.Md5(job.downloadFolder + L"\\" + job.fileName, &md5)) return kDownloadComplete;
      return Md5TextsMatch(md5, job.imageMd5) ? kDownloadComplete : kDownloadMd5Mismatch;
    }
    if (status.state == kTaskStateFailed) {
      engine.DeleteTask(task);
      return kDownloadFailed;
    }
    refresh = (refresh + 1) % 5;
    files.Sleep(kPollMs);
  }
}

}  // namespace kavi

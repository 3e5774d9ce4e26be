// The download thread's work: drives one engine task, polls it every
// 200 ms, refreshes the page every fifth poll, honours pause and stop, puts
// the finished file under its catalogue name and compares its MD5.
// Portable: the engine, the page and the file operations are seams.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/download_records.h"
#include "download/engine_api.h"
#include "download/progress_text.h"

namespace kavi {

// Outcome codes reported to the main window.
enum DownloadOutcome : int {
  kDownloadComplete = 0,  // MD5 matched, was empty, or the file could not be read
  kDownloadFailed = 1,    // the engine failed the task
  kDownloadStopped = 2,   // the user stopped it
  kDownloadMd5Mismatch = 3,
};

// The engine calls the download thread makes (the binding of xldl.dll).
class DownloadEngine {
 public:
  virtual ~DownloadEngine() = default;
  virtual EngineHandle CreateTask(const DownloadTaskRequest& request) = 0;
  virtual void StartTask(EngineHandle task) = 0;
  virtual void StopTask(EngineHandle task) = 0;
  virtual void DeleteTask(EngineHandle task) = 0;
  virtual void QueryTask(EngineHandle task, DownloadTaskStatus* status) = 0;
};

// Where the thread's texts go. The window implementation hands them to the
// UI thread; the thread itself never touches a control.
class DownloadPage {
 public:
  virtual ~DownloadPage() = default;
  virtual void ShowMessage(const std::wstring& text) = 0;  // labdownmsg
  virtual void ShowStatus(const std::wstring& text) = 0;   // labdownstatus
  // `fraction` is how far the download is, 0.0 to 1.0.
  virtual void ShowProgress(const ProgressTexts& texts, float fraction) = 0;
};

class DownloadFiles {
 public:
  virtual ~DownloadFiles() = default;
  // Rename semantics: fails when `to` exists.
  virtual bool Move(const std::wstring& from, const std::wstring& to) = 0;
  virtual bool Md5(const std::wstring& path, std::string* hex) = 0;
  virtual void Sleep(int milliseconds) = 0;
};

// Written by the UI thread's buttons, read and cleared by the download thread.
struct DownloadFlags {
  std::atomic<int> paused{0};
  std::atomic<int> stopRequested{0};
};

// The flags of the one download the program runs at a time.
DownloadFlags& DownloadControlFlags();

struct DownloadJob {
  std::wstring url;
  std::wstring fileName;
  std::wstring downloadFolder;
  std::wstring imageMd5;
};

// Runs the task to its end and returns the outcome. The request must
// already have been checked to fit (FillDownloadRequest).
int RunDownload(const DownloadJob& job, DownloadEngine& engine, DownloadPage& page,
                DownloadFlags& flags, DownloadFiles& files);

// True when the file's MD5 (trimmed, upper-cased) equals the catalogue's
// text upper-cased.
bool Md5TextsMatch(const std::string& fileMd5, const std::wstring& catalogueMd5);

}  // namespace kavi

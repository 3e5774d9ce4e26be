// Starting the download of the chosen image, in the order the main window
// runs it: what the service host sent is checked first, then an image that
// is already there is offered for keeping, and only a download that really
// starts needs the engine. Keeping the image goes straight to the size
// check, so a missing or broken xldl.dll never stands in its way.
// Portable: the window and the machine are one seam.
#pragma once

#include <string>

#include "download/download_monitor.h"

namespace kavi {

class DownloadStartSteps {
 public:
  virtual ~DownloadStartSteps() = default;
  virtual bool FileExists(const std::wstring& path) = 0;
  // "当前镜像文件已存在，是否覆盖？"; true only for Yes.
  virtual bool AskOverwrite() = 0;
  virtual void DeleteImage(const std::wstring& path) = 0;
  // True when the engine binding exists or can be created now.
  virtual bool EngineReady() = 0;
  // Shows the error and returns to the start page.
  virtual void Refuse(const std::wstring& message) = 0;
  // The size check and verification of the image at `path`.
  virtual void CheckImage(const std::wstring& path) = 0;
  // The download page and thread for `job`, saving to `path`.
  virtual void StartDownload(const DownloadJob& job, const std::wstring& path) = 0;
};

enum class DownloadStart { kRefused, kKeptExisting, kStarted };

// The download folder and the file name joined with "%s\%s".
std::wstring ImagePathOf(const DownloadJob& job);

DownloadStart StartImageDownload(const DownloadJob& job, DownloadStartSteps& steps);

}  // namespace kavi

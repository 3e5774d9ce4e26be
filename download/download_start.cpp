#include "download/download_start.h"

#include "download/download_records.h"
#include "download/file_names.h"
#include "host/text.h"

namespace kavi {

std::wstring ImagePathOf(const DownloadJob& job) {
  return Format(L"%ls\\%ls", job.downloadFolder.c_str(), job.fileName.c_str());
}

DownloadStart StartImageDownload(const DownloadJob& job, DownloadStartSteps& steps) {
  // What comes from the service host is checked before anything is touched.
  if (!IsPlainFileName(job.fileName)) {
    steps.Refuse(L"系统镜像的文件名不正确，无法下载，请稍后重试。");
    return DownloadStart::kRefused;
  }
  if (!IsHttpUrl(job.url)) {
    steps.Refuse(L"系统镜像的下载地址不正确，无法下载，请稍后重试。");
    return DownloadStart::kRefused;
  }
  DownloadTaskRequest request;
  if (!FillDownloadRequest(&request, job.url, job.fileName, job.downloadFolder)) {
    steps.Refuse(L"系统镜像的下载地址或保存路径过长，无法下载。");
    return DownloadStart::kRefused;
  }

  const std::wstring path = ImagePathOf(job);
  if (steps.FileExists(path)) {
    if (!steps.AskOverwrite()) {
      steps.CheckImage(path);
      return DownloadStart::kKeptExisting;
    }
    // Asked before the engine, so the image is gone even if the engine then
    // fails: the user chose to replace it.
    steps.DeleteImage(path);
  }
  if (!steps.EngineReady()) {
    steps.Refuse(L"下载组件加载失败，请重新安装本软件后重试！");
    return DownloadStart::kRefused;
  }
  steps.StartDownload(job, path);
  return DownloadStart::kStarted;
}

}  // namespace kavi

// The binding of the download engine library xldl.dll: loaded from the
// program's folder, its exports looked up by name, XL_Init called once. A
// missing export only disables its call. Windows side only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "download/download_monitor.h"
#include "download/engine_api.h"

namespace kavi {

class DownWrapper : public DownloadEngine {
 public:
  // Loads `libraryPath`; Usable() tells whether XL_Init succeeded.
  explicit DownWrapper(const std::wstring& libraryPath);
  virtual ~DownWrapper();
  DownWrapper(const DownWrapper&) = delete;
  DownWrapper& operator=(const DownWrapper&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  bool Usable() const { return usable_; }

  EngineHandle CreateTask(const DownloadTaskRequest& request) override;
  void StartTask(EngineHandle task) override;
  void StopTask(EngineHandle task) override;
  void DeleteTask(EngineHandle task) override;
  void QueryTask(EngineHandle task, DownloadTaskStatus* status) override;

  // The seventeen entries, null when the export is missing.
  XL_InitFn XL_Init = nullptr;
  XL_UnInitFn XL_UnInit = nullptr;
  XL_CreateTaskFn XL_CreateTask = nullptr;
  XL_DeleteTaskFn XL_DeleteTask = nullptr;
  XL_StartTaskFn XL_StartTask = nullptr;
  XL_StopTaskFn XL_StopTask = nullptr;
  XL_QueryTaskInfoFn XL_QueryTaskInfo = nullptr;
  XL_QueryTaskInfoExFn XL_QueryTaskInfoEx = nullptr;
  XL_SetSpeedLimitFn XL_SetSpeedLimit = nullptr;
  FARPROC XL_SetUploadSpeedLimit = nullptr;
  XL_DelTempFileFn XL_DelTempFile = nullptr;
  FARPROC XL_SetProxy = nullptr;
  XL_SetUserAgentFn XL_SetUserAgent = nullptr;
  XL_GetFileSizeWithUrlFn XL_GetFileSizeWithUrl = nullptr;
  FARPROC XL_ParsePrivateUrl = nullptr;
  FARPROC XL_SetAdditionInfo = nullptr;
  FARPROC XL_SetFileIdAndSize = nullptr;

 private:
  HMODULE module_ = nullptr;
  bool usable_ = false;
};

// The process-wide binding, created on first use from "xldl.dll" beside the
// executable and kept for the rest of the run. Null when the library is
// missing or XL_Init fails; a later call tries again.
DownWrapper* GetDownloadEngine();

}  // namespace kavi

#include "download/down_wrapper.h"

#include <mutex>

#include "host/working_paths.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

template <typename Fn>
void LookUp(HMODULE module, const char* name, Fn* entry) {
  *entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

DownWrapper::DownWrapper(const std::wstring& libraryPath) {
  module_ = LoadLibraryW(libraryPath.c_str());
  if (!module_) return;
  LookUp(module_, "XL_Init", &XL_Init);
  LookUp(module_, "XL_UnInit", &XL_UnInit);
  LookUp(module_, "XL_CreateTask", &XL_CreateTask);
  LookUp(module_, "XL_DeleteTask", &XL_DeleteTask);
  LookUp(module_, "XL_StartTask", &XL_StartTask);
  LookUp(module_, "XL_StopTask", &XL_StopTask);
  LookUp(module_, "XL_QueryTaskInfo", &XL_QueryTaskInfo);
  LookUp(module_, "XL_QueryTaskInfoEx", &XL_QueryTaskInfoEx);
  LookUp(module_, "XL_SetSpeedLimit", &XL_SetSpeedLimit);
  LookUp(module_, "XL_SetUploadSpeedLimit", &XL_SetUploadSpeedLimit);
  LookUp(module_, "XL_DelTempFile", &XL_DelTempFile);
  LookUp(module_, "XL_SetProxy", &XL_SetProxy);
  LookUp(module_, "XL_SetUserAgent", &XL_SetUserAgent);
  LookUp(module_, "XL_GetFileSizeWithUrl", &XL_GetFileSizeWithUrl);
  LookUp(module_, "XL_ParsePrivateUrl", &XL_ParsePrivateUrl);
  LookUp(module_, "XL_SetAdditionInfo", &XL_SetAdditionInfo);
  LookUp(module_, "XL_SetFileIdAndSize", &XL_SetFileIdAndSize);
  usable_ = XL_Init && XL_Init() != 0;
}

DownWrapper::~DownWrapper() {
  if (module_) FreeLibrary(module_);
}

EngineHandle DownWrapper::CreateTask(const DownloadTaskRequest& request) {
  return XL_CreateTask ? XL_CreateTask(&request) : nullptr;
}

void DownWrapper::StartTask(EngineHandle task) {
  if (XL_StartTask) XL_StartTask(task);
}

void DownWrapper::StopTask(EngineHandle task) {
  if (XL_StopTask) XL_StopTask(task);
}

void DownWrapper::DeleteTask(EngineHandle task) {
  if (XL_DeleteTask) XL_DeleteTask(task);
}

void DownWrapper::QueryTask(EngineHandle task, DownloadTaskStatus* status) {
  if (XL_QueryTaskInfoEx) XL_QueryTaskInfoEx(task, status);
}

DownWrapper* GetDownloadEngine() {
  static std::mutex mutex;
  static DownWrapper* binding = nullptr;  // kept until the process ends
  std::lock_guard<std::mutex> lock(mutex);
  if (!binding) {
    auto candidate =
        std::make_unique<DownWrapper>(FolderOfPath(ModuleFileName(nullptr)) + L"\\xldl.dll");
    if (candidate->Usable()) binding = candidate.release();
  }
  return binding;
}

}  // namespace kavi

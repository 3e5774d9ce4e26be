// The exports of the download engine library xldl.dll, as the program calls
// them: all __stdcall, looked up by their plain names.
#pragma once

#include <cstdint>

#include "download/download_records.h"

#if defined(_WIN32)
#define KAVI_ENGINE_CALL __stdcall
#else
#define KAVI_ENGINE_CALL
#endif

namespace kavi {

using EngineHandle = void*;

using XL_InitFn = int32_t(KAVI_ENGINE_CALL*)();
using XL_UnInitFn = int32_t(KAVI_ENGINE_CALL*)();
using XL_CreateTaskFn = EngineHandle(KAVI_ENGINE_CALL*)(const DownloadTaskRequest* request);
using XL_DeleteTaskFn = int32_t(KAVI_ENGINE_CALL*)(EngineHandle task);
using XL_StartTaskFn = int32_t(KAVI_ENGINE_CALL*)(EngineHandle task);
using XL_StopTaskFn = int32_t(KAVI_ENGINE_CALL*)(EngineHandle task);
using XL_QueryTaskInfoFn = int32_t(KAVI_ENGINE_CALL*)(EngineHandle task,
                                                      DownloadTaskStatus* status);
using XL_QueryTaskInfoExFn = int32_t(KAVI_ENGINE_CALL*)(EngineHandle task,
                                                        DownloadTaskStatus* status);
// Kilobytes per second for all tasks; 0 or less removes the limit.
using XL_SetSpeedLimitFn = void(KAVI_ENGINE_CALL*)(int32_t kilobytesPerSecond);
using XL_SetUserAgentFn = void(KAVI_ENGINE_CALL*)(const wchar_t* userAgent);
// Deletes the partial data and resume state of a request's file.
using XL_DelTempFileFn = int32_t(KAVI_ENGINE_CALL*)(const DownloadTaskRequest* request);
// Asks the server for the size of a URL's file.
using XL_GetFileSizeWithUrlFn = int32_t(KAVI_ENGINE_CALL*)(const wchar_t* url, int64_t* size);

}  // namespace kavi

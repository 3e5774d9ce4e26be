// The two records exchanged with the download engine (xldl.dll): the task
// request handed to XL_CreateTask and the status filled by
// XL_QueryTaskInfoEx. Both layouts are fixed by the engine's ABI; text
// fields are NUL-terminated UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavi {

constexpr size_t kRequestUrlUnits = 2084;
constexpr size_t kRequestCookieUnits = 4096;
constexpr size_t kRequestPathUnits = 260;

struct DownloadTaskRequest {
  int32_t reserved0;
  char16_t url[kRequestUrlUnits];
  char16_t referrer[kRequestUrlUnits];
  char16_t cookies[kRequestCookieUnits];
  char16_t fileName[kRequestPathUnits];
  char16_t reserved1[kRequestPathUnits];
  char16_t saveFolder[kRequestPathUnits];
  uint32_t window;
  int32_t reservedFlag;
  char16_t reserved2[64];
  char16_t reserved3[64];
  int32_t sourceUrlOnly;
  uint32_t reservedCount;
  int32_t disableAutoRename;
  int32_t resume;
  uint32_t reserved4[2048];
};

static_assert(offsetof(DownloadTaskRequest, url) == 4, "request layout");
static_assert(offsetof(DownloadTaskRequest, referrer) == 4172, "request layout");
static_assert(offsetof(DownloadTaskRequest, cookies) == 8340, "request layout");
static_assert(offsetof(DownloadTaskRequest, fileName) == 16532, "request layout");
static_assert(offsetof(DownloadTaskRequest, reserved1) == 17052, "request layout");
static_assert(offsetof(DownloadTaskRequest, saveFolder) == 17572, "request layout");
static_assert(offsetof(DownloadTaskRequest, window) == 18092, "request layout");
static_assert(offsetof(DownloadTaskRequest, reservedFlag) == 18096, "request layout");
static_assert(offsetof(DownloadTaskRequest, reserved2) == 18100, "request layout");
static_assert(offsetof(DownloadTaskRequest, reserved3) == 18228, "request layout");
static_assert(offsetof(DownloadTaskRequest, sourceUrlOnly) == 18356, "request layout");
static_assert(offsetof(DownloadTaskRequest, reservedCount) == 18360, "request layout");
static_assert(offsetof(DownloadTaskRequest, disableAutoRename) == 18364, "request layout");
static_assert(offsetof(DownloadTaskRequest, resume) == 18368, "request layout");
static_assert(offsetof(DownloadTaskRequest, reserved4) == 18372, "request layout");
static_assert(sizeof(DownloadTaskRequest) == 26564, "request size");

// Engine states the program relies on; anything else means "running".
constexpr int32_t kTaskStateFailed = 1;
constexpr int32_t kTaskStateFinished = 4;

#pragma pack(push, 1)
struct DownloadTaskStatus {
  int32_t state;
  int32_t failureCode;
  char16_t fileName[kRequestPathUnits];
  char16_t reserved0[kRequestPathUnits];
  int64_t totalSize;
  int64_t downloaded;
  float fraction;
  int32_t counters32[7];
  int64_t counters64[7];
  int32_t speed;
  int32_t engineSpeeds[2];
  uint8_t engineFlag;
  float engineValue;
  int32_t engineValue2;
  uint8_t reserved1[256];
};
#pragma pack(pop)

static_assert(offsetof(DownloadTaskStatus, failureCode) == 4, "status layout");
static_assert(offsetof(DownloadTaskStatus, fileName) == 8, "status layout");
static_assert(offsetof(DownloadTaskStatus, reserved0) == 528, "status layout");
static_assert(offsetof(DownloadTaskStatus, totalSize) == 1048, "status layout");
static_assert(offsetof(DownloadTaskStatus, downloaded) == 1056, "status layout");
static_assert(offsetof(DownloadTaskStatus, fraction) == 1064, "status layout");
static_assert(offsetof(DownloadTaskStatus, counters32) == 1068, "status layout");
static_assert(offsetof(DownloadTaskStatus, counters64) == 1096, "status layout");
static_assert(offsetof(DownloadTaskStatus, speed) == 1152, "status layout");
static_assert(offsetof(DownloadTaskStatus, engineSpeeds) == 1156, "status layout");
static_assert(offsetof(DownloadTaskStatus, engineFlag) == 1164, "status layout");
static_assert(offsetof(DownloadTaskStatus, engineValue) == 1165, "status layout");
static_assert(offsetof(DownloadTaskStatus, engineValue2) == 1169, "status layout");
static_assert(offsetof(DownloadTaskStatus, reserved1) == 1173, "status layout");
static_assert(sizeof(DownloadTaskStatus) == 1429, "status size");

// Copies `text` as UTF-16 with its NUL into a field of `units` code units
// at `field`, which may be unaligned (the status record is byte-packed).
// Returns false, leaving the field empty, when the text does not fit.
bool SetRecordText(void* field, size_t units, const std::wstring& text);

// The NUL-terminated text of a field (never reads past `units`).
std::wstring GetRecordText(const void* field, size_t units);

// The status record's file name. Its members are not aligned, so they are
// reached through byte offsets, never through references.
bool SetStatusFileName(DownloadTaskStatus* status, const std::wstring& name);
std::wstring GetStatusFileName(const DownloadTaskStatus& status);

template <size_t N>
bool SetRecordText(char16_t (&field)[N], const std::wstring& text) {
  return SetRecordText(field, N, text);
}
template <size_t N>
std::wstring GetRecordText(const char16_t (&field)[N]) {
  return GetRecordText(field, N);
}

// A zero-filled request with the values the program always sets (reserved
// count 5, resume on). False when the URL, file name or folder does not fit
// its field; the request is then not to be used.
bool FillDownloadRequest(DownloadTaskRequest* request, const std::wstring& url,
                         const std::wstring& fileName, const std::wstring& saveFolder);

}  // namespace kavi

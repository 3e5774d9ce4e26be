#include "download/download_records.h"

#include <cstring>

namespace kavi {
namespace {

// wchar_t is UTF-16 on Windows and UTF-32 elsewhere; the records are UTF-16.
std::u16string ToUtf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    uint32_t cp = static_cast<uint32_t>(c);
    if (sizeof(wchar_t) == 4 && cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace

bool SetRecordText(void* field, size_t units, const std::wstring& text) {
  std::u16string utf16 = ToUtf16(text);
  std::memset(field, 0, units * sizeof(char16_t));
  if (utf16.size() + 1 > units) return false;
  std::memcpy(field, utf16.data(), utf16.size() * sizeof(char16_t));
  return true;
}

std::wstring GetRecordText(const void* field, size_t units) {
  // Read unit by unit with memcpy: the field may be unaligned.
  const unsigned char* bytes = static_cast<const unsigned char*>(field);
  auto unit = [bytes](size_t i) {
    char16_t c;
    std::memcpy(&c, bytes + i * sizeof(char16_t), sizeof(c));
    return static_cast<uint32_t>(c);
  };
  std::wstring out;
  for (size_t i = 0; i < units && unit(i) != 0; ++i) {
    uint32_t cp = unit(i);
    if (sizeof(wchar_t) == 4 && cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units &&
        unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    }
    out.push_back(static_cast<wchar_t>(cp));
  }
  return out;
}

bool SetStatusFileName(DownloadTaskStatus* status, const std::wstring& name) {
  return SetRecordText(
      reinterpret_cast<unsigned char*>(status) + offsetof(DownloadTaskStatus, fileName),
      kRequestPathUnits, name);
}

std::wstring GetStatusFileName(const DownloadTaskStatus& status) {
  return GetRecordText(
      reinterpret_cast<const unsigned char*>(&status) + offsetof(DownloadTaskStatus, fileName),
      kRequestPathUnits);
}

bool FillDownloadRequest(DownloadTaskRequest* request, const std::wstring& url,
                         const std::wstring& fileName, const std::wstring& saveFolder) {
  std::memset(request, 0, sizeof(*request));
  request->reservedCount = 5;
  request->resume = 1;
  return SetRecordText(request->url, url) && SetRecordText(request->fileName, fileName) &&
         SetRecordText(request->saveFolder, saveFolder);
}

}  // namespace kavi

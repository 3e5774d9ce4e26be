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

bool SetRecordText(char16_t* field, size_t units, const std::wstring& text) {
  std::u16string utf16 = ToUtf16(text);
  std::memset(field, 0, units * sizeof(char16_t));
  if (utf16.size() + 1 > units) return false;
  std::memcpy(field, utf16.data(), utf16.size() * sizeof(char16_t));
  return true;
}

std::wstring GetRecordText(const char16_t* field, size_t units) {
  std::wstring out;
  for (size_t i = 0; i < units && field[i] != 0; ++i) {
    uint32_t cp = field[i];
    if (sizeof(wchar_t) == 4 && cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units &&
        field[i + 1] >= 0xDC00 && field[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (field[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(static_cast<wchar_t>(cp));
  }
  return out;
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

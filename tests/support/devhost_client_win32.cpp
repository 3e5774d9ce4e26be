#include "tests/support/devhost_client.h"

#include <windows.h>

#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// Creates the folders on the way to a file.
void CreateParents(const std::wstring& path) {
  for (size_t i = path.find(L'\\', 3); i != std::wstring::npos; i = path.find(L'\\', i + 1)) {
    CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
}

}  // namespace

DevHost::DevHost()
    : url_(Environment(L"KAVI_DEVHOST_URL")),
      untrustedUrl_(Environment(L"KAVI_DEVHOST_UNTRUSTED_URL")),
      folder_(Environment(L"KAVI_DEVHOST_WINDIR")) {}

bool DevHost::PutFile(const std::wstring& path, const std::string& bytes) const {
  std::wstring file = folder_ + L"\\files" + path;
  for (wchar_t& c : file) {
    if (c == L'/') c = L'\\';
  }
  CreateParents(file);
  return WriteFileBytes(file, bytes);
}

bool DevHost::SetRules(const std::string& json) const {
  return WriteFileBytes(folder_ + L"\\rules.json", json);
}

std::vector<std::string> DevHost::StatsLog() const {
  std::vector<std::string> lines;
  std::string text = ReadFileBytes(folder_ + L"\\stats.log");
  size_t start = 0;
  for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

void DevHost::ClearStatsLog() const {
  DeleteFileW((folder_ + L"\\stats.log").c_str());
}

int DevHost::RequestCount(const std::string& path) const {
  const std::string text = ReadFileBytes(folder_ + L"\\requests.log");
  int count = 0;
  size_t start = 0;
  for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
    if (text.compare(start, nl - start, path) == 0) ++count;
    start = nl + 1;
  }
  return count;
}

}  // namespace kavi

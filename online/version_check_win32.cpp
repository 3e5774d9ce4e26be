#include "online/version_check.h"

#include <windows.h>
#include <shellapi.h>

#include "host/text.h"
#include "host/win32_util.h"
#include "host/working_paths.h"
#include "online/http_fetch.h"
#include "online/service_host.h"

namespace kavi {
namespace {

std::string ReadHead(const std::wstring& path, DWORD size) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return std::string();
  std::string head(size, '\0');
  DWORD read = 0;
  if (!ReadFile(file.Get(), &head[0], size, &read, nullptr)) return std::string();
  head.resize(read);
  return head;
}

}  // namespace

bool CheckForNewVersion() {
  HttpTextClient client;
  return CheckForNewVersion(client, ServiceUrl(), Working());
}

bool LaunchUpdate(const std::wstring& installerUrl, const std::wstring& toolsFolder,
                  const InstallerStarter& start) {
  // No folder: the protected one could not be made, and the installer runs
  // elevated, so it is not saved anywhere else.
  if (installerUrl.empty() || toolsFolder.empty()) return false;
  const std::wstring target = Format(L"%ls\\%ls", toolsFolder.c_str(), kInstallerFileName);
  if (HttpGetToFile(installerUrl, target) != kHttpFileSaved) return false;
  // An error page or a cut-off download must never be started as a program.
  if (!IsWindowsExecutable(ReadHead(target, 4096))) {
    DeleteFileW(target.c_str());
    return false;
  }
  start(target, toolsFolder);
  return true;
}

bool LaunchUpdate() {
  SetUpToolPaths();
  const WorkingFields fields = Working().Snapshot();
  return LaunchUpdate(fields.installerUrl, fields.toolsFolder,
                      [](const std::wstring& file, const std::wstring& folder) {
                        ShellExecuteW(nullptr, L"OPEN", file.c_str(), nullptr, folder.c_str(),
                                      SW_SHOW);
                      });
}

}  // namespace kavi

// The version check at start-up and the update it may lead to. The service
// host publishes the current version text at "/kavi/banben.txt" and the
// installer's URL at "/kavi/anzhuangbao.txt"; any published version other
// than this program's own is offered (there is no ordering of versions).
#pragma once

#include <functional>
#include <string>

#include "host/working_state.h"
#include "online/text_fetcher.h"

namespace kavi {

constexpr const wchar_t* kProgramVersion = L"7.8.12";
// A longer published text (an HTML page served with 200, say) is no version.
constexpr size_t kMaxVersionLength = 20;
constexpr const wchar_t* kInstallerFileName = L"sysupdate.exe";

// Without leading and trailing characters that iswspace accepts.
std::wstring TrimWhiteSpace(const std::wstring& text);

// Marks the check as done, stores this program's version, the published one
// (trimmed; empty when unavailable) and, when they differ, the installer URL.
// True when a different version is offered.
bool CheckForNewVersion(TextFetcher& http, const std::wstring& serviceUrl, WorkingState& state);

// True for the start of a Windows executable: "MZ", and at the offset stored
// at 0x3C the signature "PE\0\0". `head` is the file's first bytes (4 KiB
// suffice for every real executable).
bool IsWindowsExecutable(const std::string& head);

// Windows side. The check over a client of its own, against the configured
// service host and the process-wide working state.
bool CheckForNewVersion();

// Saves the installer as "sysupdate.exe" in `toolsFolder` and starts it with
// `start(file, folder)`. False, with nothing started, when the URL or the
// folder is empty, the download fails, or the saved file is not a Windows
// executable (then the file is removed again).
using InstallerStarter = std::function<void(const std::wstring& file, const std::wstring& folder)>;
bool LaunchUpdate(const std::wstring& installerUrl, const std::wstring& toolsFolder,
                  const InstallerStarter& start);

// The same with the working state's installer URL and tools folder, started
// with ShellExecuteW ("OPEN", SW_SHOW). Only after the user agreed.
bool LaunchUpdate();

}  // namespace kavi

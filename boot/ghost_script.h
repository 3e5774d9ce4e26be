// The one-line Ghost task script that the DOS system runs at the next boot
// from the root of the boot drive. Texts and bytes are built portably; only
// the file write is Win32 (ghost_script_win32.cpp).
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kavi {

constexpr const wchar_t* kGhostScriptFileName = L"Ghost.ba_";

// "X:\Ghost.ba_" on the boot drive.
std::wstring GhostScriptPath(wchar_t bootDrive);

// The two templates filled with Ghost designations. The restore template
// adds ":1" after the source, the first partition stored in the image.
std::wstring GhostBackupScriptText(const std::wstring& source, const std::wstring& target);
std::wstring GhostRestoreScriptText(const std::wstring& source, const std::wstring& target);

// The Ghost partition id of a drive letter with the boot drive as the
// reference ("1:2"); empty when it cannot be resolved.
using GhostPartitionLookup = std::function<std::wstring(wchar_t letter)>;

// An image file in Ghost's terms: the partition id of its drive followed by
// the path without drive letter and colon ("1:2\DURozazo\SYS.GHO"). Empty
// when the path does not start with "X:" or its drive cannot be resolved.
std::wstring GhostImageDesignation(const GhostPartitionLookup& lookup,
                                   const std::wstring& imagePath);

// The whole script text, or none when a partition cannot be resolved.
std::optional<std::wstring> BuildGhostBackupScript(const GhostPartitionLookup& lookup,
                                                   wchar_t sourceLetter,
                                                   const std::wstring& imagePath);
std::optional<std::wstring> BuildGhostRestoreScript(const GhostPartitionLookup& lookup,
                                                    const std::wstring& imagePath,
                                                    wchar_t targetLetter);

// The text in the ANSI code page, without byte-order mark or terminating
// zero. None when a character has no form there: DOS would then be handed a
// path that does not exist.
std::optional<std::string> GhostScriptBytes(const std::wstring& text);

// Windows side, on the boot drive of the takeover settings. Each writer
// fails before touching the file when a designation cannot be resolved.
bool WriteGhostBackupScript(wchar_t sourceLetter, const std::wstring& imagePath);
bool WriteGhostRestoreScript(const std::wstring& imagePath, wchar_t targetLetter);
bool WriteGhostScript(const std::wstring& text);

// Creates or replaces `path` (no sharing) and writes the bytes in one call,
// then leaves it changeable by SYSTEM and Administrators alone (on volumes
// that keep security); true only when both were done.
bool WriteGhostScriptFile(const std::wstring& path, const std::string& bytes);

}  // namespace kavi

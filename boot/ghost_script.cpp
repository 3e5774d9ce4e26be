#include "boot/ghost_script.h"

#include "host/text.h"

namespace kavi {

std::wstring GhostScriptPath(wchar_t bootDrive) {
  return Format(L"%lc:\\%ls", bootDrive, kGhostScriptFileName);
}

std::wstring GhostBackupScriptText(const std::wstring& source, const std::wstring& target) {
  return Format(
      L"Ghost.exe -nousb -clone,mode=pdump,src=\"%ls\",dst=\"%ls\" -sure -rb -crcignore -fro "
      L"-z3 -auto -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      source.c_str(), target.c_str());
}

std::wstring GhostRestoreScriptText(const std::wstring& source, const std::wstring& target) {
  return Format(
      L"Ghost.exe -nousb -clone,mode=pload,src=\"%ls:1\",dst=\"%ls\" -fro -crcignore -sure -rb "
      L"-fx -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      source.c_str(), target.c_str());
}

std::wstring GhostImageDesignation(const GhostPartitionLookup& lookup,
                                   const std::wstring& imagePath) {
  if (imagePath.size() < 3 || imagePath[1] != L':') return std::wstring();
  const std::wstring partition = lookup(imagePath[0]);
  if (partition.empty()) return std::wstring();
  return partition + imagePath.substr(2);
}

std::optional<std::wstring> BuildGhostBackupScript(const GhostPartitionLookup& lookup,
                                                   wchar_t sourceLetter,
                                                   const std::wstring& imagePath) {
  const std::wstring source = lookup(sourceLetter);
  if (source.empty()) return std::nullopt;
  const std::wstring target = GhostImageDesignation(lookup, imagePath);
  if (target.empty()) return std::nullopt;
  return GhostBackupScriptText(source, target);
}

std::optional<std::wstring> BuildGhostRestoreScript(const GhostPartitionLookup& lookup,
                                                    const std::wstring& imagePath,
                                                    wchar_t targetLetter) {
  const std::wstring source = GhostImageDesignation(lookup, imagePath);
  if (source.empty()) return std::nullopt;
  const std::wstring target = lookup(targetLetter);
  if (target.empty()) return std::nullopt;
  return GhostRestoreScriptText(source, target);
}

std::optional<std::string> GhostScriptBytes(const std::wstring& text) {
  std::string bytes = ToAnsi(text);
  if (FromAnsi(bytes) != text) return std::nullopt;
  return bytes;
}

}  // namespace kavi

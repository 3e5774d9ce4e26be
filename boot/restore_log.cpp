#include "boot/restore_log.h"

#include <map>

namespace kavi {
namespace {

constexpr const char kHeaderStart[] = "== kavi restore ";
constexpr const char kResultOk[] = "result: ok";
constexpr const char kResultFailed[] = "result: failed ";

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::optional<RestoreLogEntry> LastRestoreEntry(const std::string& log) {
  const std::vector<std::string> lines = Lines(log);
  size_t header = lines.size();
  for (size_t i = lines.size(); i-- > 0;) {
    if (StartsWith(lines[i], kHeaderStart)) {
      header = i;
      break;
    }
  }
  if (header == lines.size()) return std::nullopt;
  RestoreLogEntry entry;
  entry.header = lines[header];
  entry.code = "unfinished";
  for (size_t i = lines.size(); i-- > header + 1;) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    if (StartsWith(line, kResultOk)) {
      entry.ok = true;
      entry.code.clear();
    } else if (StartsWith(line, kResultFailed)) {
      const std::string rest = line.substr(std::char_traits<char>::length(kResultFailed));
      const size_t colon = rest.find(':');
      entry.code = rest.substr(0, colon);
      if (colon != std::string::npos) {
        entry.detail = rest.substr(rest.compare(colon, 2, ": ") == 0 ? colon + 2 : colon + 1);
      }
    }
    break;
  }
  return entry;
}

std::wstring RestoreFailureText(const std::string& code) {
  static const std::map<std::string, const wchar_t*> kTexts = {
      {"no-task", L"上次重启未找到还原任务，系统未作任何更改。"},
      {"several-tasks", L"上次重启发现多个还原任务，系统未作任何更改。"},
      {"bad-script", L"上次重启时无法识别Ghost任务脚本，系统未作任何更改。"},
      {"record-mismatch", L"上次重启时磁盘记录与磁盘不符，系统未作任何更改。"},
      {"image-missing", L"上次还原时找不到镜像文件，系统未作任何更改。"},
      {"image-unknown", L"上次还原时无法识别镜像文件的格式，系统未作任何更改。"},
      {"image-gho", L"上次还原的镜像为GHO格式，需要Ghost启动文件，系统未作任何更改。"},
      {"image-corrupt", L"上次还原的镜像文件已损坏，系统未作任何更改。"},
      {"image-too-large", L"上次还原的镜像大于系统分区，系统未作任何更改。"},
      {"image-on-target", L"上次还原的镜像文件位于系统分区上，系统未作任何更改。"},
      {"target-not-task", L"上次还原的目标分区不是系统分区，系统未作任何更改。"},
      {"target-encrypted",
       L"上次重启时系统分区已被BitLocker加密，请先关闭BitLocker后再重装系统。系统未作任何更改。"},
      {"target-hibernated", L"上次重启时系统处于休眠状态，系统未作任何更改。"},
      {"target-filesystem", L"上次重启时系统分区的文件系统无法处理，系统未作任何更改。"},
      {"dump-on-source", L"上次备份的保存位置位于系统分区上，系统未作任何更改。"},
      {"capture-failed", L"上次备份系统失败，系统未作任何更改。"},
      {"write-failed", L"上次还原写入系统分区时失败，系统分区已被更改，可能无法正常启动。"},
      {"boot-files-failed", L"上次还原未能恢复启动文件，系统分区已被更改，可能无法正常启动。"},
      {"image-changed", L"上次还原的镜像文件在检查之后被更改，系统未作任何更改。"},
      {"image-not-for-machine", L"上次还原的镜像无法在这台电脑上启动，系统未作任何更改。"},
      {"no-boot-partition", L"上次还原时找不到可写入启动文件的分区，系统未作任何更改。"},
      {"not-held",
       L"上次还原时镜像所在分区已满、只读或不是 NTFS 格式，无法保存任务，系统未作任何更改。"},
      {"unfinished", L"上次重启后的任务没有完成，系统可能已被更改。"},
  };
  const auto it = kTexts.find(code);
  return it != kTexts.end() ? it->second : L"上次重启后的任务失败，系统可能已被更改。";
}

std::optional<std::wstring> TakeUnreportedRestoreFailure(RestoreLogStore& store) {
  std::optional<RestoreLogEntry> latest;
  for (const std::string& log : store.ReadLogs()) {
    std::optional<RestoreLogEntry> entry = LastRestoreEntry(log);
    // Headers carry the time as "YYYY-MM-DD HH:MM:SS", so text order is
    // time order.
    if (entry && (!latest || entry->header > latest->header)) latest = std::move(entry);
  }
  if (!latest || latest->ok) return std::nullopt;
  std::string ack = store.ReadAck();
  while (!ack.empty() && (ack.back() == '\n' || ack.back() == '\r')) ack.pop_back();
  if (ack == latest->header) return std::nullopt;
  // Marked before it is shown: a mark that cannot be written only means the
  // message may come again.
  store.WriteAck(latest->header + "\r\n");
  return RestoreFailureText(latest->code);
}

}  // namespace kavi

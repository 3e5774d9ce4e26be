// The fixed texts of the next-boot screen, UTF-8. The build renders every
// character named here (and printable ASCII) into the screen's glyph table,
// so a text added here needs nothing else to be drawn.
#pragma once

namespace kavi {
namespace restore {
namespace screen_text {

constexpr const char kTitle[] = "Kavi一键重装系统";
constexpr const char kInstall[] = "正在安装系统";
constexpr const char kBackup[] = "正在备份系统";
constexpr const char kRestore[] = "正在还原系统";
constexpr const char kStarting[] = "正在准备";

constexpr const char kFind[] = "查找任务";
constexpr const char kVerify[] = "校验镜像";
constexpr const char kFormat[] = "格式化";
constexpr const char kWrite[] = "写入镜像";
constexpr const char kBootFiles[] = "写入启动文件";
constexpr const char kCapture[] = "备份系统分区";
constexpr const char kVerifyBackup[] = "校验备份";
constexpr const char kDone[] = "完成，即将重启";
constexpr const char kFailed[] = "任务未完成";

constexpr const char kStepSeparator[] = "  →  ";

constexpr const char kWarning[] = "请勿关闭电脑或断开电源，完成后将自动重启。";
constexpr const char kImage[] = "镜像：";
constexpr const char kSpeed[] = "速度：";
constexpr const char kLeft[] = "剩余时间：";
// "%d" is the seconds until the restart.
constexpr const char kRestartIn[] = "%d 秒后自动重启。";
constexpr const char kLogHint[] = "详细记录保存在 DURozazo\\restore.log。";

}  // namespace screen_text
}  // namespace restore
}  // namespace kavi

#include "download/progress_text.h"

#include "host/text.h"

namespace kavi {
namespace {

double Megabytes(int64_t bytes) {
  return static_cast<double>(bytes) / 1048576.0;
}

}  // namespace

std::wstring SpeedText(int32_t speed) {
  if (speed < 1024) return Format(L"下载速度：%dB/s", speed);
  if (speed < 1048576) return Format(L"下载速度：%.2lfKB/s", speed / 1024.0);
  return Format(L"下载速度：%.2lfMB/s", speed / 1048576.0);
}

std::wstring RemainingTimeText(int64_t totalSize, int64_t downloaded, int32_t speed) {
  if (speed == 0) return L"剩余时间：大于1天";
  // Seconds as the low 32 bits of a truncating 64-bit division; hours are
  // not folded into days.
  const uint32_t s = static_cast<uint32_t>((totalSize - downloaded) / speed);
  return Format(L"剩余时间：%d时%d分%d秒", static_cast<int>(s / 3600),
                static_cast<int>(s % 3600 / 60), static_cast<int>(s % 60));
}

ProgressTexts MakeProgressTexts(const std::wstring& folder, const std::wstring& savedName,
                                int64_t totalSize, int64_t downloaded, float fraction,
                                int32_t speed) {
  ProgressTexts t;
  t.fileSize = Format(L"文件大小：%.2lfMB", Megabytes(totalSize));
  t.speed = SpeedText(speed);
  t.pathTip = Format(L"%ls\\%ls", folder.c_str(), savedName.c_str());
  t.pathLink = Format(L"<f 1>保存路径：<u>%ls\\%ls</u></f>", folder.c_str(), savedName.c_str());
  t.percent = Format(L"%.2lf%%", static_cast<double>(fraction) * 100.0);
  t.status = L"下载状态：下载中";
  t.remaining = RemainingTimeText(totalSize, downloaded, speed);
  t.downloaded = Format(L"已下载：%.2lfMB", Megabytes(downloaded));
  return t;
}

}  // namespace kavi

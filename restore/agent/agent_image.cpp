// The image a load was checked against before the restart: its size and
// MD5, read again here in one sequential pass before anything is written.
// wimlib checks every stream's hash again while it applies, so a bound image
// needs no separate verification pass.
#include <cstdio>

#include "restore/agent/agent_run.h"
#include "restore/agent/wim_text.h"

namespace kavi {
namespace restore {
namespace {

bool IsLowerHex(const std::string& text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// "digest  path" as md5sum prints it.
std::optional<std::string> Md5sumDigest(const std::string& output) {
  if (output.size() < 33 || output[32] != ' ') return std::nullopt;
  std::string digest = output.substr(0, 32);
  if (!IsLowerHex(digest)) return std::nullopt;
  return digest;
}

}  // namespace

std::optional<std::string> AgentRun::FileMd5(size_t part, const std::string& path) {
  std::string output;
  int status = 1;
  if (std::optional<std::string> inner = PathInNtfsVolume(part, path, false)) {
    // libntfs-3g reads the volume itself, a third as long as through the
    // mount; unmounting first puts out what ntfs-3g still held.
    if (!RunUnmounted(part, {"kavi-agent", "--md5-ntfs", parts_[part].device, *inner}, &status,
                      &output)) {
      return std::nullopt;
    }
    if (std::optional<std::string> digest = status == 0 ? Md5sumDigest(output) : std::nullopt)
      return digest;
    Note("warning: libntfs-3g cannot read " + path + "; reading it through the mount");
    output.clear();
  }
  if (host_.tools.Run({"kavi-agent", "--md5", path}, nullptr, &output) != 0) return std::nullopt;
  return Md5sumDigest(output);
}

std::optional<ImageBinding> AgentRun::MeasureImage(size_t part, const std::string& image) {
  std::string size;
  if (host_.tools.Run({"stat", "-c", "%s", image}, nullptr, &size) != 0 || size.empty() ||
      size[0] < '0' || size[0] > '9' ||
      size.find_first_not_of("0123456789\n") != std::string::npos) {
    return std::nullopt;
  }
  const std::optional<std::string> digest = FileMd5(part, image);
  if (!digest) return std::nullopt;
  return ImageBinding{std::stoull(size), *digest};
}

Refusal AgentRun::CheckBoundImage(size_t part, const std::string& image,
                                  const ImageBinding& binding) {
  const std::string changed = "the image changed after it was checked";
  std::string size;
  if (host_.tools.Run({"stat", "-c", "%s", image}, nullptr, &size) != 0) {
    return Refuse(Failure::kImageMissing, "the image file cannot be read");
  }
  if (size != std::to_string(binding.size) + "\n") {
    return Refuse(Failure::kImageChanged, changed + " (its size differs)");
  }
  Say("Checking the image file");
  const double start = host_.console.Seconds();
  const std::optional<std::string> digest = FileMd5(part, image);
  if (!digest) return Refuse(Failure::kImageMissing, "the image file cannot be read");
  if (*digest != binding.md5) return Refuse(Failure::kImageChanged, changed);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", host_.console.Seconds() - start);
  log_.Add("done: checked the MD5 of " + SizeText(binding.size) + " in " + seconds);
  return Refusal{};
}

}  // namespace restore
}  // namespace kavi

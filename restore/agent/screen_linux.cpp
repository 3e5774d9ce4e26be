#include "restore/agent/screen_linux.h"

#include <fcntl.h>
#include <linux/fb.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace kavi {
namespace restore {

std::unique_ptr<FramebufferScreen> FramebufferScreen::Open() {
  const int fd = open("/dev/fb0", O_RDWR | O_CLOEXEC);
  if (fd < 0) return nullptr;
  fb_var_screeninfo var{};
  fb_fix_screeninfo fix{};
  if (ioctl(fd, FBIOGET_VSCREENINFO, &var) != 0 || ioctl(fd, FBIOGET_FSCREENINFO, &fix) != 0 ||
      fix.visual != FB_VISUAL_TRUECOLOR ||
      (var.bits_per_pixel != 16 && var.bits_per_pixel != 24 && var.bits_per_pixel != 32) ||
      var.xres < 640 || var.yres < 480 ||
      static_cast<size_t>(var.yoffset + var.yres) * fix.line_length > fix.smem_len) {
    close(fd);
    return nullptr;
  }
  void* memory = mmap(nullptr, fix.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  std::unique_ptr<FramebufferScreen> screen(new FramebufferScreen);
  screen->fd_ = fd;
  screen->memory_ = static_cast<uint8_t*>(memory);
  screen->size_ = fix.smem_len;
  screen->stride_ = fix.line_length;
  screen->xoffset_ = static_cast<int>(var.xoffset);
  screen->yoffset_ = static_cast<int>(var.yoffset);
  screen->format_ =
      PixelFormat{static_cast<int>(var.bits_per_pixel), static_cast<int>(var.red.offset),
                  static_cast<int>(var.red.length),     static_cast<int>(var.green.offset),
                  static_cast<int>(var.green.length),   static_cast<int>(var.blue.offset),
                  static_cast<int>(var.blue.length)};
  screen->canvas_.reset(new Canvas(static_cast<int>(var.xres), static_cast<int>(var.yres)));
  // The kernel's console would draw its cursor and messages over ours.
  screen->tty_ = open("/dev/tty0", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (screen->tty_ >= 0) ioctl(screen->tty_, KDSETMODE, KD_GRAPHICS);
  return screen;
}

FramebufferScreen::~FramebufferScreen() {
  if (tty_ >= 0) {
    ioctl(tty_, KDSETMODE, KD_TEXT);
    close(tty_);
  }
  munmap(memory_, size_);
  close(fd_);
}

void FramebufferScreen::Show(const ScreenState& state) {
  Canvas& canvas = *canvas_;
  const ScreenLayout layout = LayoutScreen(canvas.width, canvas.height);
  ScreenRect area =
      drawn_ ? ChangedArea(layout, shown_, state) : ScreenRect{0, 0, canvas.width, canvas.height};
  area.width = std::min(area.width, canvas.width - area.x);
  area.height = std::min(area.height, canvas.height - area.y);
  DrawScreen(state, area, &canvas);
  const int bytes = (format_.bitsPerPixel + 7) / 8;
  for (int y = area.y; y < area.y + area.height; ++y) {
    uint8_t* to = memory_ + static_cast<size_t>(y + yoffset_) * stride_ +
                  static_cast<size_t>(area.x + xoffset_) * bytes;
    PackPixels(canvas.pixels.data() + static_cast<size_t>(y) * canvas.width + area.x, area.width,
               format_, to);
  }
  shown_ = state;
  drawn_ = true;
}

}  // namespace restore
}  // namespace kavi

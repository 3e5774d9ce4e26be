// The next-boot screen on the Linux framebuffer (/dev/fb0): the firmware's
// mode handed on by GRUB (vesafb on BIOS, efifb on UEFI), 16, 24 or 32 bits
// per pixel. While it shows, the text console is switched to graphics mode
// so the kernel's console leaves the pixels alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "restore/agent/screen_state.h"
#include "restore/agent/screen_view.h"

namespace kavi {
namespace restore {

class FramebufferScreen {
 public:
  // None when there is no usable framebuffer: the text console stays.
  static std::unique_ptr<FramebufferScreen> Open();
  ~FramebufferScreen();
  void Show(const ScreenState& state);

 private:
  FramebufferScreen() = default;
  int fd_ = -1;
  int tty_ = -1;
  uint8_t* memory_ = nullptr;
  size_t size_ = 0;
  size_t stride_ = 0;
  int xoffset_ = 0, yoffset_ = 0;
  PixelFormat format_;
  std::unique_ptr<Canvas> canvas_;
  ScreenState shown_;
  bool drawn_ = false;
};

}  // namespace restore
}  // namespace kavi

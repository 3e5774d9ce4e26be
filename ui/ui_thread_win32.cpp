#include "ui/ui_thread.h"

#include <algorithm>
#include <mutex>

namespace SkinUI {
namespace {

struct PendingText {
  HWND window;
  CControlUI* control;
  std::wstring text;
};

std::mutex g_mutex;
std::vector<PendingText> g_pending;

void Drop(HWND window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_pending.erase(std::remove_if(g_pending.begin(), g_pending.end(),
                                 [window](const PendingText& p) { return p.window == window; }),
                  g_pending.end());
}

}  // namespace

bool PostControlText(HWND window, CControlUI* control, const std::wstring& text) {
  if (!control || !IsWindow(window)) return false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = std::find_if(g_pending.begin(), g_pending.end(), [&](const PendingText& p) {
      return p.window == window && p.control == control;
    });
    if (it != g_pending.end()) {
      it->text = text;
    } else {
      g_pending.push_back({window, control, text});
    }
  }
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    SendMessageW(window, detail::kFlushTextsMessage, 0, 0);
    return true;
  }
  if (!PostMessageW(window, detail::kFlushTextsMessage, 0, 0)) {
    Drop(window);  // the window went away meanwhile
    return false;
  }
  return true;
}

bool CallOnUiThread(HWND window, const std::function<void()>& call) {
  if (!call || !IsWindow(window)) return false;
  return SendMessageW(window, detail::kCallMessage, 0, reinterpret_cast<LPARAM>(&call)) == 1;
}

namespace detail {

std::vector<std::pair<CControlUI*, std::wstring>> TakeControlTexts(HWND window) {
  std::vector<std::pair<CControlUI*, std::wstring>> taken;
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto it = g_pending.begin(); it != g_pending.end();) {
    if (it->window == window) {
      taken.emplace_back(it->control, std::move(it->text));
      it = g_pending.erase(it);
    } else {
      ++it;
    }
  }
  return taken;
}

}  // namespace detail
}  // namespace SkinUI

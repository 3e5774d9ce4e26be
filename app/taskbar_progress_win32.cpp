#include "app/taskbar_progress_win32.h"

#include <objbase.h>
#include <shobjidl.h>

namespace kavi {

TaskbarProgress::~TaskbarProgress() {
  if (list_) list_->Release();
}

void TaskbarProgress::Show(HWND window, int permille, bool paused) {
  if (permille < 0 && !list_) return;  // no progress was ever shown
  if (!tried_) {
    tried_ = true;
    // Absent before Windows 7: the progress is then simply not shown.
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list_))) ||
        (list_ && FAILED(list_->HrInit()))) {
      if (list_) list_->Release();
      list_ = nullptr;
    }
  }
  if (!list_) return;
  if (permille < 0) {
    list_->SetProgressState(window, TBPF_NOPROGRESS);
    return;
  }
  list_->SetProgressState(window, paused ? TBPF_PAUSED : TBPF_NORMAL);
  list_->SetProgressValue(window, static_cast<ULONGLONG>(permille), 1000);
}

}  // namespace kavi

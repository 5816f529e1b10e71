#include "ui/win32/taskbar_progress.h"

#include <versionhelpers.h>

#include <algorithm>

namespace ui::win32 {
namespace {

bool IsTaskbarState(int32_t state) {
    return state == TBPF_NOPROGRESS || state == TBPF_INDETERMINATE || state == TBPF_NORMAL ||
           state == TBPF_ERROR || state == TBPF_PAUSED;
}

}  // namespace

Win32TaskbarProgress::Win32TaskbarProgress(std::shared_ptr<InterfaceThread> thread, HWND window,
                                           ComPtr<ITaskbarList3> list, int64_t minimum,
                                           int64_t maximum)
    : thread_(std::move(thread)),
      window_(window),
      list_(std::move(list)),
      minimum_(std::max<int64_t>(minimum, 0)),
      maximum_(std::max(maximum, minimum_)) {
    if (!list_) return;
    list_->HrInit();
    list_->SetProgressValue(window_, ULONGLONG(minimum_), ULONGLONG(maximum_));
    list_->SetProgressState(window_, TBPF_NOPROGRESS);
}

Win32TaskbarProgress::~Win32TaskbarProgress() {
    thread_->Call([&] { list_.Reset(); });
}

int32_t Win32TaskbarProgress::GetState() const {
    return thread_->Call([&] { return state_; });
}

int32_t Win32TaskbarProgress::GetValue() const {
    return thread_->Call([&] { return value_; });
}

void Win32TaskbarProgress::SetState(int32_t state) {
    thread_->Call([&] {
        if (!list_ || !IsTaskbarState(state)) return;
        list_->SetProgressState(window_, TBPFLAG(state));
        state_ = state;
    });
}

void Win32TaskbarProgress::SetValue(int32_t value) {
    thread_->Call([&] {
        if (!list_) return;
        int64_t clamped = std::clamp<int64_t>(value, minimum_, maximum_);
        list_->SetProgressValue(window_, ULONGLONG(clamped), ULONGLONG(maximum_));
        value_ = int32_t(clamped);
    });
}

std::unique_ptr<TaskbarProgress> CreateWin32TaskbarProgress(std::shared_ptr<InterfaceThread> thread,
                                                            HWND window, int64_t minimum,
                                                            int64_t maximum) {
    if (!IsWindows7OrGreater()) return nullptr;
    ComPtr<ITaskbarList3> list;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                list.Receive())))
        list.Reset();
    return std::make_unique<Win32TaskbarProgress>(std::move(thread), window, std::move(list),
                                                  minimum, maximum);
}

}  // namespace ui::win32

// Progress on a window's taskbar button through ITaskbarList3 (Windows 7 and later).
#pragma once

#include <shobjidl.h>

#include <memory>

#include "ui/win32/handles.h"
#include "ui/win32/interface_thread.h"
#include "ui/win32/win32.h"

namespace ui::win32 {

class Win32TaskbarProgress final : public TaskbarProgress {
public:
    // A null list makes every operation do nothing. The interface is used on the
    // interface thread only, as its apartment requires.
    Win32TaskbarProgress(std::shared_ptr<InterfaceThread> thread, HWND window,
                         ComPtr<ITaskbarList3> list, int64_t minimum, int64_t maximum);
    ~Win32TaskbarProgress() override;

    int32_t GetState() const override;
    int32_t GetValue() const override;
    void SetState(int32_t state) override;
    void SetValue(int32_t value) override;

private:
    std::shared_ptr<InterfaceThread> thread_;
    HWND window_;
    ComPtr<ITaskbarList3> list_;
    int32_t state_ = 0;
    int32_t value_ = 0;
    int64_t minimum_;
    int64_t maximum_;
};

// Null before Windows 7; an object with a null list when the taskbar object cannot be made.
// Called on the interface thread.
std::unique_ptr<TaskbarProgress> CreateWin32TaskbarProgress(std::shared_ptr<InterfaceThread> thread,
                                                            HWND window, int64_t minimum,
                                                            int64_t maximum);

}  // namespace ui::win32

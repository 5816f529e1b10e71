// The thread that owns every window. Work asked for from other threads is sent to it
// through a hidden window and waited for, so each caller's calls keep their order and
// results come back to the caller.
#pragma once

#include <functional>
#include <optional>
#include <type_traits>

#include "ui/win32/handles.h"
#include "ui/win32/win32.h"

namespace ui::win32 {

class InterfaceThread {
public:
    InterfaceThread();  // on the thread that is to own the windows

    bool IsCurrent() const { return GetCurrentThreadId() == threadId_; }

    // Runs work on the interface thread and returns its result; a default result when the
    // interface thread is gone.
    template <class Work>
    std::invoke_result_t<Work&> Call(Work&& work) {
        using Result = std::invoke_result_t<Work&>;
        if (IsCurrent()) return work();
        if constexpr (std::is_void_v<Result>) {
            Send([&] { work(); });
        } else {
            std::optional<Result> result;
            Send([&] { result.emplace(work()); });
            return result ? std::move(*result) : Result{};
        }
    }

private:
    void Send(const std::function<void()>& work);
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    DWORD threadId_;
    OwnedWindow window_;
};

}  // namespace ui::win32

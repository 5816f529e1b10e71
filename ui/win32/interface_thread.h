// The thread that owns every window. Work asked for from other threads is sent to it
// through a hidden window and waited for, so each caller's calls keep their order and
// results come back to the caller.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <type_traits>

#include "ui/toolkit.h"
#include "ui/win32/handles.h"
#include "ui/win32/win32.h"

namespace ui::win32 {

class InterfaceThread {
public:
    InterfaceThread();  // on the thread that is to own the windows

    bool IsCurrent() const { return GetCurrentThreadId() == threadId_; }

    // Runs work on the interface thread and returns its result; `fallback` when the work
    // could not run there (the interface has ended, or its thread is gone).
    template <class Work, class Result = std::invoke_result_t<Work&>>
    Result Call(Work&& work, Result fallback) {
        if (IsCurrent() && !closed_) return work();
        std::optional<Result> result;
        if (!IsCurrent()) Send([&] { result.emplace(work()); });
        return result ? std::move(*result) : std::move(fallback);
    }

    // The same with a default-made fallback. A question must name its declining answer.
    template <class Work>
    std::invoke_result_t<Work&> Call(Work&& work) {
        using Result = std::invoke_result_t<Work&>;
        static_assert(!std::is_same_v<Result, Answer>,
                      "a question falls back on its declining answer");
        if constexpr (std::is_void_v<Result>) {
            if (IsCurrent() && !closed_) return work();
            if (!IsCurrent()) Send([&] { work(); });
        } else {
            return Call(std::forward<Work>(work), Result{});
        }
    }

    // On the interface thread: no work runs from now on, and calls that are waiting for it
    // return their fallbacks.
    void Close();

private:
    void Send(const std::function<void()>& work);
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    DWORD threadId_;
    std::atomic<bool> closed_{false};
    OwnedWindow window_;
};

}  // namespace ui::win32

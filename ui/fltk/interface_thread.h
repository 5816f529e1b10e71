// Runs toolkit calls from any thread. FLTK allows other threads to touch widgets while
// they hold its lock; showing and hiding windows and modal loops must run on the
// thread that runs Fl::wait, so those are posted there and waited for.
#pragma once

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <type_traits>

#include "ui/toolkit.h"

namespace ui::fltk {

class InterfaceThread {
public:
    InterfaceThread();  // the constructing thread becomes the interface thread

    bool IsCurrent() const { return std::this_thread::get_id() == id_; }

    // Runs f under the FLTK lock on the calling thread.
    template <class F>
    auto Locked(F&& f) const {
        Lock lock(!IsCurrent());
        return f();
    }

    // Runs f on the interface thread under the FLTK lock and returns its result; `fallback`
    // once the interface has ended, also for a call that was waiting for it then.
    template <class F, class R = std::invoke_result_t<F&>>
    R OnInterfaceThread(F&& f, R fallback) const {
        if (closed_) return fallback;
        if (IsCurrent()) return Locked(f);
        std::promise<R> promise;
        auto result = promise.get_future();
        Post([&] {
            if (closed_) {
                promise.set_value(std::move(fallback));
                return;
            }
            if constexpr (std::is_void_v<R>) {
                f();
                promise.set_value();
            } else {
                promise.set_value(f());
            }
        });
        return result.get();
    }

    // The same with a default-made fallback. A question must name its declining answer.
    template <class F>
    auto OnInterfaceThread(F&& f) const {
        using R = std::invoke_result_t<F&>;
        static_assert(!std::is_same_v<R, Answer>, "a question falls back on its declining answer");
        if constexpr (std::is_void_v<R>) {
            if (closed_) return;
            if (IsCurrent()) return Locked(f);
            std::promise<void> done;
            auto result = done.get_future();
            Post([&] {
                if (!closed_) f();
                done.set_value();
            });
            result.get();
        } else {
            return OnInterfaceThread(std::forward<F>(f), R{});
        }
    }

    // On the interface thread: nothing runs there from now on, and the calls waiting for it
    // get their fallbacks.
    void Close();

private:
    class Lock {
    public:
        explicit Lock(bool wakeInterfaceThread);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        bool wake_;  // a worker changed widgets: the interface thread must redraw
    };

    static void Post(std::function<void()> job);

    std::thread::id id_;
    std::atomic<bool> closed_{false};
};

}  // namespace ui::fltk

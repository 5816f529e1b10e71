// Runs toolkit calls from any thread. FLTK allows other threads to touch widgets while
// they hold its lock; showing and hiding windows and modal loops must run on the
// thread that runs Fl::wait, so those are posted there and waited for.
#pragma once

#include <functional>
#include <future>
#include <thread>
#include <type_traits>

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

    // Runs f on the interface thread under the FLTK lock and returns its result.
    template <class F>
    auto OnInterfaceThread(F&& f) const {
        if (IsCurrent()) return Locked(f);
        std::packaged_task<std::invoke_result_t<F&>()> task([&f] { return f(); });
        auto result = task.get_future();
        Post([&task] { task(); });
        return result.get();
    }

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
};

}  // namespace ui::fltk

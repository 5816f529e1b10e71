// Events waiting for the program's loop, filled from FLTK callbacks and other threads.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "ui/toolkit.h"

namespace ui::fltk {

class EventQueue {
public:
    void Push(const Event& event);
    std::optional<Event> Pop();
    // For threads other than the interface thread, which cannot run FLTK's wait.
    std::optional<Event> Wait(int timeoutMs);

private:
    std::mutex mutex_;
    std::condition_variable pushed_;
    std::deque<Event> events_;
};

}  // namespace ui::fltk

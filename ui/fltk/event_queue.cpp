#include "ui/fltk/event_queue.h"

#include <chrono>

namespace ui::fltk {

void EventQueue::Push(const Event& event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    pushed_.notify_one();
}

std::optional<Event> EventQueue::Pop() {
    std::lock_guard lock(mutex_);
    if (events_.empty()) return std::nullopt;
    Event event = events_.front();
    events_.pop_front();
    return event;
}

std::optional<Event> EventQueue::Wait(int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!pushed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return !events_.empty(); }))
        return std::nullopt;
    Event event = events_.front();
    events_.pop_front();
    return event;
}

}  // namespace ui::fltk

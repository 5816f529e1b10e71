#include "ui/fltk/interface_thread.h"

#include <FL/Fl.H>

#include <chrono>
#include <memory>

namespace ui::fltk {
namespace {

void RunJob(void* data) {
    std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(data));
    (*job)();
}

}  // namespace

InterfaceThread::InterfaceThread() : id_(std::this_thread::get_id()) {
    Fl::lock();  // the first call switches on FLTK's thread support
    Fl::unlock();
    // FLTK creates the mutex of its awake queue on first use, unguarded; create it now,
    // before two workers can race to do it.
    Fl::awake([](void*) {}, nullptr);
}

InterfaceThread::Lock::Lock(bool wakeInterfaceThread) : wake_(wakeInterfaceThread) { Fl::lock(); }

InterfaceThread::Lock::~Lock() {
    Fl::unlock();
    if (wake_) Fl::awake();
}

// The jobs already posted run now, each giving its fallback.
void InterfaceThread::Close() {
    closed_ = true;
    Lock lock(false);
    Fl::wait(0);
}

void InterfaceThread::Post(std::function<void()> job) {
    auto* data = new std::function<void()>(std::move(job));
    // The awake ring is small; when it is full, the interface thread is draining it.
    while (Fl::awake(RunJob, data) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace ui::fltk

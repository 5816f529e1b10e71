// The program's threads. Each one is ready for the error report before its body runs, so
// that a fault on it, a stack overflow too, is reported as one on the first thread is.
#pragma once

#include <thread>
#include <utility>

#include "platform/faults.h"

namespace platform {

// A started thread (std::thread or std::jthread) running body(); throws std::system_error
// as they do.
template <class Thread = std::thread, class Body>
Thread StartThread(Body body) {
    return Thread([body = std::move(body)]() mutable {
        ThreadFaultRoom room;
        body();
    });
}

}  // namespace platform

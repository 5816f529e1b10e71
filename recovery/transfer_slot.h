// One recovery transfer at a time: a list update and a package download both read and
// write the recovery list and the catalog's addresses, so neither runs beside the other
// or beside itself.
#pragma once

#include <atomic>

namespace recovery {

class RecoveryTransferSlot {
public:
    RecoveryTransferSlot() : held_(!Running().exchange(true)) {}
    ~RecoveryTransferSlot() {
        if (held_) Running() = false;
    }
    RecoveryTransferSlot(const RecoveryTransferSlot&) = delete;
    RecoveryTransferSlot& operator=(const RecoveryTransferSlot&) = delete;

    // False when another recovery transfer runs; nothing may be touched then.
    bool Held() const { return held_; }

private:
    static std::atomic<bool>& Running() {
        static std::atomic<bool> running{false};
        return running;
    }
    bool held_;
};

}  // namespace recovery

// Disk numbers that stay with their disks, as Windows' drive numbers do: a disk keeps the
// number it got while it stays attached, so numbers never shift under a running
// operation when another disk comes or goes. New disks take the lowest free numbers, in
// name order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::linuxos {

// One attached disk: its name and the kernel's sequence number, which tells a loop device
// attached anew from the one that had its name before.
struct DiskIdentity {
    std::string name;
    int64_t sequence = 0;
    bool operator==(const DiskIdentity&) const = default;
};

class DiskNumbers {
public:
    explicit DiskNumbers(size_t limit) : slots_(limit) {}

    // Frees the numbers of disks that are gone and gives numbers to new ones; a number freed
    // now is given out again only at a later update, so one update never moves a number
    // from one disk to another.
    void Update(const std::vector<DiskIdentity>& attached);

    std::string NameOf(int32_t number) const;  // "" for a free number
    std::optional<DiskIdentity> IdentityOf(int32_t number) const;
    std::optional<int32_t> NumberOf(const std::string& name) const;

private:
    std::vector<std::optional<DiskIdentity>> slots_;
};

// The listable disks with their sequence numbers, in name order.
std::vector<DiskIdentity> AttachedDisks();

// True while the disk's name still belongs to that same disk.
bool StillAttached(const DiskIdentity& disk);

}  // namespace platform::linuxos

#include "platform/linux/disk_numbers.h"

#include <algorithm>

#include "platform/linux/disk_names.h"
#include "platform/linux/sysfs.h"

namespace platform::linuxos {

void DiskNumbers::Update(const std::vector<DiskIdentity>& attached) {
    std::vector<bool> freeBefore(slots_.size());
    for (size_t i = 0; i < slots_.size(); ++i) {
        freeBefore[i] = !slots_[i];
        if (slots_[i] && std::find(attached.begin(), attached.end(), *slots_[i]) == attached.end())
            slots_[i].reset();
    }
    for (const DiskIdentity& disk : attached) {
        bool numbered = std::any_of(slots_.begin(), slots_.end(),
                                    [&](const auto& slot) { return slot && *slot == disk; });
        if (numbered) continue;
        size_t free = 0;
        while (free < slots_.size() && !(freeBefore[free] && !slots_[free])) ++free;
        if (free == slots_.size()) return;  // more disks than numbers: the rest wait
        slots_[free] = disk;
    }
}

std::optional<DiskIdentity> DiskNumbers::IdentityOf(int32_t number) const {
    if (number < 0 || size_t(number) >= slots_.size()) return std::nullopt;
    return slots_[size_t(number)];
}

std::string DiskNumbers::NameOf(int32_t number) const {
    if (number < 0 || size_t(number) >= slots_.size() || !slots_[size_t(number)]) return "";
    return slots_[size_t(number)]->name;
}

std::optional<int32_t> DiskNumbers::NumberOf(const std::string& name) const {
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i] && slots_[i]->name == name) return int32_t(i);
    return std::nullopt;
}

namespace {

int64_t SequenceOf(const std::string& name) {
    return ReadNumber(DiskFolder(name) + "/diskseq").value_or(0);
}

}  // namespace

std::vector<DiskIdentity> AttachedDisks() {
    std::vector<DiskIdentity> disks;
    for (const std::string& name : ListDisks()) disks.push_back({name, SequenceOf(name)});
    return disks;
}

bool StillAttached(const DiskIdentity& disk) { return SequenceOf(disk.name) == disk.sequence; }

}  // namespace platform::linuxos

// Device changes from the kernel's uevent broadcast.
#include "platform/linux/device_watch.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <thread>

#include "platform/disks.h"
#include "platform/linux/unique_fd.h"
#include "platform/threads.h"

namespace platform {
namespace {

using linuxos::ChangesDriveList;
using linuxos::UniqueFd;

// A burst of events (a stick with several partitions, an image being attached) ends this
// long after its last event, and only then is the program told.
constexpr int kQuietMs = 250;
constexpr int kKernelGroup = 1;

UniqueFd OpenUeventSocket() {
    UniqueFd socket(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT));
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelGroup;
    if (socket && bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
        socket.Reset();
    return socket;
}

class UeventWatch : public DeviceWatch {
public:
    UeventWatch(UniqueFd socket, UniqueFd stop, std::function<void()> onChange)
        : socket_(std::move(socket)), stop_(std::move(stop)), onChange_(std::move(onChange)) {
        thread_ = StartThread([this] { Run(); });
    }
    ~UeventWatch() override {
        uint64_t one = 1;
        // Adding one to an eventfd counter cannot fail.
        [[maybe_unused]] ssize_t written = write(stop_.get(), &one, sizeof(one));
        thread_.join();
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::time_point kNoBurst = Clock::time_point::max();

    // True when a block device change was read.
    bool DrainSocket() {
        char buffer[8192];
        bool changed = false;
        ssize_t size;
        while ((size = recv(socket_.get(), buffer, sizeof(buffer), MSG_DONTWAIT)) > 0)
            changed = ChangesDriveList(std::string_view(buffer, size_t(size))) || changed;
        return changed || (size < 0 && errno == ENOBUFS);  // events were lost: look again
    }

    // poll's timeout until the burst is over; -1 (none) while no burst is going on.
    static int MsUntil(Clock::time_point due) {
        if (due == kNoBurst) return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
        return int(std::max<int64_t>(0, left));
    }

    void Run() {
        Clock::time_point due = kNoBurst;
        for (;;) {
            pollfd fds[] = {{socket_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
            if (poll(fds, 2, MsUntil(due)) < 0 && errno != EINTR) return;
            if (fds[1].revents) return;
            if (fds[0].revents && DrainSocket())
                due = Clock::now() + std::chrono::milliseconds(kQuietMs);
            if (due != kNoBurst && Clock::now() >= due) {
                due = kNoBurst;
                onChange_();
            }
        }
    }

    UniqueFd socket_, stop_;
    std::function<void()> onChange_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceWatch> WatchDeviceChanges(std::function<void()> onChange) {
    UniqueFd socket = OpenUeventSocket();
    UniqueFd stop(eventfd(0, EFD_CLOEXEC));
    if (!socket || !stop) return nullptr;
    return std::make_unique<UeventWatch>(std::move(socket), std::move(stop), std::move(onChange));
}

}  // namespace platform

namespace platform::linuxos {

bool ChangesDriveList(std::string_view message) {
    bool block = false, comesOrGoes = false, change = false, newMedium = false;
    for (size_t at = 0; at < message.size();) {
        size_t end = message.find('\0', at);
        std::string_view field = message.substr(at, end - at);
        block = block || field == "SUBSYSTEM=block";
        comesOrGoes = comesOrGoes || field == "ACTION=add" || field == "ACTION=remove";
        change = change || field == "ACTION=change";
        newMedium = newMedium || field == "DISK_MEDIA_CHANGE=1";
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return block && (comesOrGoes || (change && newMedium));
}

}  // namespace platform::linuxos

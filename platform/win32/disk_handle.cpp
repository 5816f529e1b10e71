#include "platform/win32/disk_handle.h"

#include <winioctl.h>

#include <algorithm>

#include "platform/win32/device_io.h"
#include "platform/win32/disk_queries.h"
#include "platform/win32/owned_handle.h"

namespace platform::win32 {
namespace {

// A whole number of sectors of every size, well below WriteFile's limit.
constexpr DWORD kLargestPiece = 1u << 30;

// Windows releases a volume lock with the handle, so destruction only closes it.
class Win32DiskHandle : public DiskHandle {
public:
    explicit Win32DiskHandle(OwnedHandle device) : device_(std::move(device)) {}

    int64_t WriteAt(int64_t offset, const void* data, int64_t bytes) override {
        if (bytes <= 0 || !Seek(offset)) return 0;
        const char* from = static_cast<const char*>(data);
        return TransferInPieces(bytes, kLargestPiece, [&](int64_t done, DWORD piece) {
            DWORD moved = 0;
            return WriteFile(device_.get(), from + done, piece, &moved, nullptr) ? moved : 0;
        });
    }

    int64_t ReadAt(int64_t offset, void* data, int64_t bytes) override {
        if (bytes <= 0 || !Seek(offset)) return 0;
        char* to = static_cast<char*>(data);
        return TransferInPieces(bytes, kLargestPiece, [&](int64_t done, DWORD piece) {
            DWORD moved = 0;
            return ReadFile(device_.get(), to + done, piece, &moved, nullptr) ? moved : 0;
        });
    }

    int64_t Length() override { return DiskLength(device_.get()); }
    DiskFingerprint Fingerprint() override { return ReadFingerprint(device_.get()); }
    bool Lock() override { return Control(FSCTL_LOCK_VOLUME); }
    bool Dismount() override { return Control(FSCTL_DISMOUNT_VOLUME); }
    bool Unlock() override { return Control(FSCTL_UNLOCK_VOLUME); }
    bool Flush() override { return FlushFileBuffers(device_.get()); }
    // Buffering is chosen when a handle is opened; the program opens them buffered.
    void UseDirectTransfers(bool) override {}
    // A refusal leaves reads and writes within the file system's idea of the volume.
    void AllowExtendedAccess() override { Control(FSCTL_ALLOW_EXTENDED_DASD_IO); }
    // A refusal leaves the cached layout as it was; the caller has nothing better to do.
    void UpdateProperties() override { Control(IOCTL_DISK_UPDATE_PROPERTIES); }

private:
    bool Seek(int64_t offset) {
        LARGE_INTEGER position;
        position.QuadPart = offset;
        return SetFilePointerEx(device_.get(), position, nullptr, FILE_BEGIN);
    }

    bool Control(DWORD code) { return ControlDevice(device_.get(), code, nullptr, 0, nullptr, 0); }

    OwnedHandle device_;
};

}  // namespace

std::unique_ptr<DiskHandle> OpenDiskHandle(const std::wstring& path, bool write) {
    OwnedHandle device = OpenDevice(path, write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ);
    if (!device) return nullptr;
    return std::make_unique<Win32DiskHandle>(std::move(device));
}

int64_t TransferInPieces(int64_t bytes, DWORD largest,
                         const std::function<DWORD(int64_t done, DWORD bytes)>& move) {
    int64_t done = 0;
    while (done < bytes) {
        DWORD piece = DWORD(std::min<int64_t>(bytes - done, largest));
        DWORD moved = move(done, piece);
        done += moved;
        if (moved < piece) break;
    }
    return done;
}

}  // namespace platform::win32

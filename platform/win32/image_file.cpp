#include "platform/image_file.h"

#include <windows.h>

#include "platform/win32/disk_handle.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

using win32::OwnedHandle;

// A whole number of sectors of every size, well below ReadFile's limit.
constexpr DWORD kLargestPiece = 1u << 30;

class Win32ImageFile : public ImageFile {
public:
    explicit Win32ImageFile(OwnedHandle file) : file_(std::move(file)) {}

    int64_t Read(void* data, int64_t bytes) override {
        bool failed = false;
        int64_t moved =
            win32::TransferInPieces(bytes, kLargestPiece, [&](int64_t done, DWORD piece) {
                DWORD got = 0;
                failed =
                    !ReadFile(file_.get(), static_cast<char*>(data) + done, piece, &got, nullptr);
                return got;
            });
        return failed ? -1 : moved;
    }
    int64_t Write(const void* data, int64_t bytes) override {
        bool failed = false;
        int64_t moved =
            win32::TransferInPieces(bytes, kLargestPiece, [&](int64_t done, DWORD piece) {
                DWORD put = 0;
                failed = !WriteFile(file_.get(), static_cast<const char*>(data) + done, piece, &put,
                                    nullptr);
                return put;
            });
        return failed ? -1 : moved;
    }
    bool Seek(int64_t offset) override {
        LARGE_INTEGER position;
        position.QuadPart = offset;
        return SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN);
    }
    bool SetEnd() override { return SetEndOfFile(file_.get()); }
    bool Flush() override { return FlushFileBuffers(file_.get()); }

private:
    OwnedHandle file_;
};

std::unique_ptr<ImageFile> Sequential(const std::string& path, DWORD access, DWORD sharing,
                                      DWORD disposition) {
    OwnedHandle file =
        win32::Own(CreateFileW(platform::Widen(path).c_str(), access, sharing, nullptr, disposition,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file ? std::make_unique<Win32ImageFile>(std::move(file)) : nullptr;
}

}  // namespace

std::unique_ptr<ImageFile> CreateSequentialFile(const std::string& path) {
    return Sequential(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
}

std::unique_ptr<ImageFile> OpenSequentialFile(const std::string& path) {
    return Sequential(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
}

std::string VolumeRootOf(const std::string& path) {
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(platform::Widen(path).c_str(), root, MAX_PATH)) return "";
    return platform::Narrow(root);
}

}  // namespace platform

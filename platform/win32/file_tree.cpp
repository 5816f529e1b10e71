#include "platform/file_tree.h"

#include <windows.h>

#include <sstream>
#include <vector>

#include "platform/files.h"
#include "platform/image_file.h"
#include "platform/win32/device_io.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/volumes.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

constexpr size_t kBufferBytes = size_t(1) << 20;

// A link to a folder is no folder: nothing is written through it.
bool MakeLevel(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteAll(HANDLE file, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes, DWORD(count), &written, nullptr) || written == 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

// The volume a folder lies on, opened for writing; invalid when it has no drive letter.
win32::OwnedHandle OpenVolumeOf(const std::wstring& folder) {
    std::wstring device = win32::VolumePath(VolumeRootOf(Narrow(folder)));
    if (device.empty()) return {};
    return win32::OpenDevice(device, GENERIC_READ | GENERIC_WRITE);
}

class FolderTree : public FileTree {
public:
    explicit FolderTree(const std::string& folder) : root_(Widen(folder)) {
        while (!root_.empty() && (root_.back() == L'\\' || root_.back() == L'/')) root_.pop_back();
    }

    // The tree's own folder is made too where it is missing.
    bool CreateFolder(const std::string& relative) override {
        if (!IsFolder(root_) && !MakeRoot()) return false;
        std::wistringstream parts(Widen(relative));
        std::wstring path = root_;
        for (std::wstring part; std::getline(parts, part, L'/');)
            if (!part.empty() && !MakeLevel(path += L"\\" + part)) return false;
        return true;
    }

    bool WriteFile(const std::string& relative, const ByteSource& source, bool) override {
        std::wstring path = Path(relative);
        // A hidden or read-only file of that name would refuse to be overwritten.
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        win32::OwnedHandle file =
            win32::Own(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        if (Copy(source, file.get()) && FlushFileBuffers(file.get())) return true;
        file.reset();
        DeleteFileW(path.c_str());
        return false;
    }

    bool SetHidden(const std::string& relative) override {
        return platform::SetHidden(Narrow(Path(relative)));
    }

    bool Exists(const std::string& relative) override {
        return GetFileAttributesW(Path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // Each file was flushed as it was written; the volume's flush then writes what the file
    // system keeps of them (directory entries, allocation tables). A folder mounted without
    // a letter, a volume that only an administrator may open, or one whose driver has no
    // flush of its own (Wine's) keeps the files' own flushes.
    bool Finish() override {
        if (!IsFolder(root_)) return true;
        win32::OwnedHandle volume = OpenVolumeOf(root_);
        return !volume || FlushFileBuffers(volume.get()) ||
               GetLastError() == ERROR_INVALID_FUNCTION;
    }

private:
    // Levels that cannot be made (a drive, a share's server) are passed over: only the
    // folder itself has to stand at the end.
    bool MakeRoot() {
        for (size_t at = root_.find_first_of(L"\\/"); at != std::wstring::npos;
             at = root_.find_first_of(L"\\/", at + 1))
            if (at > 0 && !IsFolder(root_.substr(0, at)))
                CreateDirectoryW(root_.substr(0, at).c_str(), nullptr);
        CreateDirectoryW(root_.c_str(), nullptr);
        return IsFolder(root_);
    }

    std::wstring Path(const std::string& relative) const {
        std::wstring path = root_ + L"\\" + Widen(relative);
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        return path;
    }

    bool Copy(const ByteSource& source, HANDLE file) {
        buffer_.resize(kBufferBytes);
        auto sink = [file](const uint8_t* bytes, size_t count) {
            return WriteAll(file, bytes, count);
        };
        return PumpBytes(source, sink, buffer_);
    }

    std::wstring root_;
    std::vector<uint8_t> buffer_;
};

}  // namespace

std::unique_ptr<FileTree> OpenFileTree(const std::string& destination) {
    return std::make_unique<FolderTree>(destination);
}

}  // namespace platform

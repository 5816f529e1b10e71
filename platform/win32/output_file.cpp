#include "platform/output_file.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/win32/wide.h"

namespace platform {
namespace {

constexpr int64_t kLargestWrite = 1 << 30;

HANDLE Native(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

OutputFile OutputFile::Create(const std::string& path) {
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return OutputFile(reinterpret_cast<intptr_t>(file));  // INVALID_HANDLE_VALUE is -1
}

OutputFile::OutputFile(OutputFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

int64_t OutputFile::Write(std::span<const uint8_t> bytes) {
    int64_t written = 0;
    while (written < int64_t(bytes.size())) {
        DWORD chunk = DWORD(std::min<int64_t>(int64_t(bytes.size()) - written, kLargestWrite));
        DWORD done = 0;
        if (!WriteFile(Native(handle_), bytes.data() + written, chunk, &done, nullptr) || done == 0)
            break;
        written += done;
    }
    return written;
}

int64_t OutputFile::Position() const {
    LARGE_INTEGER zero{}, position{};
    if (!IsOpen() || !SetFilePointerEx(Native(handle_), zero, &position, FILE_CURRENT)) return -1;
    return position.QuadPart;
}

bool OutputFile::CutTo(int64_t length) {
    LARGE_INTEGER position{};
    position.QuadPart = length;
    return IsOpen() && SetFilePointerEx(Native(handle_), position, nullptr, FILE_BEGIN) &&
           SetEndOfFile(Native(handle_));
}

bool OutputFile::Flush() { return IsOpen() && FlushFileBuffers(Native(handle_)); }

void OutputFile::Close() {
    if (IsOpen()) CloseHandle(Native(std::exchange(handle_, -1)));
}

}  // namespace platform

// A file written from its start, for transfers: created (replacing one of that name),
// written block by block, its position checked, cut back to rewrite a tail, flushed to the
// disk.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace platform {

class OutputFile {
public:
    OutputFile() = default;
    // Creates or truncates the file; IsOpen() tells whether that worked.
    static OutputFile Create(const std::string& path);
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { Close(); }

    bool IsOpen() const { return handle_ != -1; }
    // Writes all bytes unless the system refuses: how many were written.
    int64_t Write(std::span<const uint8_t> bytes);
    // The current position; -1 when it cannot be read.
    int64_t Position() const;
    // Cuts the file to length bytes and goes on writing there.
    bool CutTo(int64_t length);
    // Makes the written data durable on the disk.
    bool Flush();
    void Close();

private:
    explicit OutputFile(intptr_t handle) : handle_(handle) {}
    intptr_t handle_ = -1;  // file descriptor or HANDLE; -1 when closed
};

}  // namespace platform

// Writing files and folders below a destination folder, such as a volume's drive letter.
// Windows and mounted folders are written through the file system; on Linux a FAT volume
// that the kernel cannot mount (a program volume on a kernel without vfat) is written
// with mtools on its partition node, in batches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Supplies a file's bytes piece by piece: how many it put in the buffer, 0 at the end,
// -1 on failure.
using ByteSource = std::function<int64_t(uint8_t* buffer, size_t capacity)>;

// Takes a piece whole, or says false.
using ByteSink = std::function<bool(const uint8_t* bytes, size_t count)>;

// Moves the source's bytes to the sink through the buffer until the source ends; false
// when either side failed.
inline bool PumpBytes(const ByteSource& source, const ByteSink& sink,
                      std::vector<uint8_t>& buffer) {
    for (;;) {
        int64_t count = source(buffer.data(), buffer.size());
        if (count <= 0) return count == 0;
        if (!sink(buffer.data(), size_t(count))) return false;
    }
}

// Paths are relative to the destination with "/" between their parts, and never climb
// out of it (the callers make sure). Results say whether the step worked; a tree that
// copies in batches may only know at Finish.
class FileTree {
public:
    virtual ~FileTree() = default;
    // The folder and any missing parents.
    virtual bool CreateFolder(const std::string& relative) = 0;
    // Creates or overwrites the file (its folder must exist); a failed file is removed.
    // executable: runnable where files carry such a right.
    virtual bool WriteFile(const std::string& relative, const ByteSource& source,
                           bool executable) = 0;
    // The hidden attribute where the file system has one; in effect by Finish at the latest.
    virtual bool SetHidden(const std::string& relative) = 0;
    // A file or folder of that name exists at the destination.
    virtual bool Exists(const std::string& relative) = 0;
    // Everything written so far is at the destination when this returns; false when some
    // of it did not get there.
    virtual bool Finish() = 0;
};

std::unique_ptr<FileTree> OpenFileTree(const std::string& destination);

}  // namespace platform

// Partition image files, read or written front to back in large chunks, and where a path
// lies among the mounted volumes. Failures leave their code for LastSystemError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class ImageFile {
public:
    virtual ~ImageFile() = default;
    // Bytes moved at the current position, which advances; -1 on failure.
    virtual int64_t Read(void* data, int64_t bytes) = 0;
    virtual int64_t Write(const void* data, int64_t bytes) = 0;
    virtual bool Seek(int64_t offset) = 0;  // from the start
    virtual bool SetEnd() = 0;              // the file ends at the current position
    virtual bool Flush() = 0;               // everything written is on the medium
};

// Always created anew (an existing file is truncated), for reading and writing, not
// shared, hinted for sequential access. nullptr on failure.
std::unique_ptr<ImageFile> CreateSequentialFile(const std::string& path);
// An existing file for reading, shared for reading and writing, hinted as above.
std::unique_ptr<ImageFile> OpenSequentialFile(const std::string& path);

// The mounted drive root that holds path, whether or not the file exists yet ("E:\",
// Linux: the mount point); "" when none can be found.
std::string VolumeRootOf(const std::string& path);

}  // namespace platform

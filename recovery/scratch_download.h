// Small downloads into a folder of their own, to be read as a stream and thrown away.
// The folder is not the operations' temporary folder: an update may run beside an
// operation that owns that one.
#pragma once

#include <string>

namespace recovery {

class ScratchDownloads {
public:
    ScratchDownloads();  // makes the folder; Ready() says whether that worked
    ~ScratchDownloads();
    ScratchDownloads(const ScratchDownloads&) = delete;
    ScratchDownloads& operator=(const ScratchDownloads&) = delete;

    bool Ready() const { return !folder_.empty(); }

    // Downloads url into a file named caption (the name the progress line shows) with
    // the connection notice and progress line; its path, or "" when the transfer failed.
    std::string Fetch(const std::string& url, const std::string& caption);

private:
    std::string folder_;
};

}  // namespace recovery

#include "platform/file_tree.h"

#include "platform/linux/folder_tree.h"
#include "platform/linux/mtools_tree.h"
#include "platform/linux/program_volumes.h"

namespace platform {
namespace {

std::string Parent(const std::string& path) {
    size_t cut = path.find_last_of('/');
    if (cut == std::string::npos || path == "/") return "";
    return cut == 0 ? "/" : path.substr(0, cut);
}

}  // namespace

// The nearest folder above (or at) the destination that stands for a volume decides: a
// program volume that could not be mounted is reached through its node.
std::unique_ptr<FileTree> OpenFileTree(const std::string& destination) {
    std::string folder = destination;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    for (std::string at = folder; !at.empty(); at = Parent(at)) {
        auto volume = linuxos::VolumeAtLetter(at);
        if (!volume) continue;
        if (volume->programVolume && !volume->mounted)
            return linuxos::OpenMtoolsTree(volume->node, folder.substr(at.size()));
        break;
    }
    return linuxos::OpenFolderTree(folder);
}

}  // namespace platform

// The files of a FAT volume that is not mounted, written with mtools on its node. What is
// written gathers in a staging folder that mirrors the volume (in memory where /dev/shm
// is); each batch goes over by one recursive mcopy, which runs while the next batch is
// being staged.
#pragma once

#include <memory>
#include <string>

#include "platform/file_tree.h"

namespace platform::linuxos {

// folder: where the tree starts inside the volume, "" for its root, else "/a/b".
std::unique_ptr<FileTree> OpenMtoolsTree(const std::string& node, const std::string& folder);

}  // namespace platform::linuxos

// A file tree written through the file system below a folder.
#pragma once

#include <memory>
#include <string>

#include "platform/file_tree.h"

namespace platform::linuxos {

std::unique_ptr<FileTree> OpenFolderTree(const std::string& folder);

}  // namespace platform::linuxos

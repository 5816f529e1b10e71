// The file the registry stand-in keeps its keys in; the program's other state lives
// beside it.
#pragma once

#include <string>

namespace platform {

std::string RegistryStoreFile();

}  // namespace platform

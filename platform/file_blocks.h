// Reading a file from start to end in blocks, so that its size never decides how much
// memory a reader needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace platform {

// Hands each block (at most blockSize bytes, the last one possibly shorter) to the sink in
// file order; the sink returns false to stop early. True when the whole file was read
// and taken; false when it could not be opened or read, or the sink stopped.
using BlockSink = std::function<bool(std::span<const uint8_t> block)>;
bool ReadFileBlocks(const std::string& path, size_t blockSize, const BlockSink& sink);

}  // namespace platform

// Packed resources: the header, the LZMA decode and the CRC check. The decode never
// writes past its buffer, and a resource is handed on only whole and with its CRC.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>

#include "core/state.h"
#include "resources/resource_format.h"
#include "resources/resource_unpack.h"
#include "tests/fuzz/fuzz_check.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietProgram();
    fuzz::QuietToolkit toolkit;
    if (core::TempFolder.empty()) {
        core::TempFolder = (fuzz::Scratch() / "temp").string() + "/";
        fs::create_directories(core::TempFolder);
    }
    std::span<const uint8_t> resource(data, size);
    std::vector<uint8_t> out(4096);
    if (size > resources::kResourceHeaderBytes)
        FUZZ_CHECK(resources::DecodeLzma(resource.subspan(resources::kResourceHeaderBytes), out) <=
                   out.size());

    std::string path = resources::UnpackInternalMemoryToTempFile(resource);
    if (path.empty()) return 0;
    auto header = resources::ReadResourceHeader(resource);
    FUZZ_CHECK(header && fs::path(path).parent_path() == fs::path(core::TempFolder).parent_path());
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> unpacked((std::istreambuf_iterator<char>(in)), {});
    FUZZ_CHECK(unpacked.size() == header->unpackedSize);
    FUZZ_CHECK(resources::Crc32(unpacked) == header->crc);
    fs::remove(path);
    return 0;
}

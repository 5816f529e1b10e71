#include "resources/resource_unpack.h"

#include <memory>
#include <new>

#include "core/state.h"
#include "platform/files.h"
#include "resources/resource_format.h"
#include "resources/temp_folder.h"
#include "ui/toolkit.h"

namespace resources {
namespace {

void ShowError(const std::string& text) {
    if (ui::HasToolkit()) ui::UI().MessageBox("Error", text, ui::Icon::None, ui::Buttons::Ok);
}

}  // namespace

std::string UnpackInternalMemoryToTempFile(std::span<const uint8_t> resource) {
    if (resource.empty()) return "";
    if (core::TempFolder.empty() && !CreateTempFolder()) return "";
    auto header = ReadResourceHeader(resource);
    if (!header || header->unpackedSize == 0) return "";
    // The buffer is taken at the claimed size, so the claim must fit the stream first.
    if (header->unpackedSize > MostUnpackedBytes(resource.size() - kResourceHeaderBytes)) return "";
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[header->unpackedSize]);
    if (!buffer) return "";
    std::span<uint8_t> unpacked(buffer.get(), header->unpackedSize);
    if (DecodeLzma(resource.subspan(kResourceHeaderBytes), unpacked) != unpacked.size()) return "";
    if (Crc32(unpacked) != header->crc) {
        ShowError("Error UnpackInternalMemoryToTempFile: CRC32 Error");
        return "";
    }
    std::string path = NewTempFileName(core::TempFolder);
    if (path.empty()) return "";
    int64_t written = platform::WriteNewFile(path, unpacked);
    if (written < 0) return "";
    if (size_t(written) != unpacked.size()) {
        platform::RemoveFile(path);
        ShowError("Error UnpackInternalMemoryToTempFile: WriteData Error");
        return "";
    }
    return path;
}

}  // namespace resources

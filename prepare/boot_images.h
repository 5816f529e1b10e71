// The boot sector images the program writes: MBR code and partition boot records,
// assembled from data/boot at build time.
#pragma once

#include <cstdint>
#include <span>

namespace prepare {

enum class BootImage {
    Boot0,        // MBR, "Clover" set
    Boot1f32alt,  // FAT32 PBR, "Clover" set
    Boot1xalt,    // exFAT PBR, two sectors, "Clover" set
    MbrBin,       // MBR, "XPC" set
    Bs32Bin,      // FAT32 PBR, "XPC" set
    UsbHddPlus,   // MBR, "Windows" set
};

// 512 bytes per sector, each sector ending with 0x55 0xAA.
std::span<const uint8_t> BootImageBytes(BootImage image);

}  // namespace prepare

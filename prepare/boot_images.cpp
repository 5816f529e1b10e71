#include "prepare/boot_images.h"

#include "boot_images_data.h"  // generated from data/boot by the build

namespace prepare {

std::span<const uint8_t> BootImageBytes(BootImage image) {
    switch (image) {
        case BootImage::Boot0:
            return boot_data::kBoot0;
        case BootImage::Boot1f32alt:
            return boot_data::kBoot1f32alt;
        case BootImage::Boot1xalt:
            return boot_data::kBoot1xalt;
        case BootImage::MbrBin:
            return boot_data::kMbrBin;
        case BootImage::Bs32Bin:
            return boot_data::kBs32Bin;
        case BootImage::UsbHddPlus:
            return boot_data::kUsbHddPlus;
    }
    return {};
}

}  // namespace prepare

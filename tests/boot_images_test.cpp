#include "prepare/boot_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using prepare::BootImage;
using prepare::BootImageBytes;

constexpr BootImage kAllImages[] = {BootImage::Boot0,     BootImage::Boot1f32alt,
                                    BootImage::Boot1xalt, BootImage::MbrBin,
                                    BootImage::Bs32Bin,   BootImage::UsbHddPlus};
constexpr BootImage kMbrImages[] = {BootImage::Boot0, BootImage::MbrBin, BootImage::UsbHddPlus};

std::string Text(BootImage image, size_t from = 0, size_t to = 0) {
    auto bytes = BootImageBytes(image);
    return std::string(bytes.begin() + from, to ? bytes.begin() + to : bytes.end());
}

bool Zero(BootImage image, size_t from, size_t to) {  // bytes from..to-1
    auto bytes = BootImageBytes(image);
    return std::all_of(bytes.begin() + from, bytes.begin() + to, [](uint8_t b) { return !b; });
}

// Where a jump at byte 0 (EB rel8 or E9 rel16) lands.
size_t JumpTarget(BootImage image) {
    auto bytes = BootImageBytes(image);
    if (bytes[0] == 0xEB) return 2 + int8_t(bytes[1]);
    if (bytes[0] == 0xE9) return 3 + int16_t(bytes[1] | bytes[2] << 8);
    return 0;
}

TEST(BootImage, EverySectorEndsWithTheBootSignature) {
    for (BootImage image : kAllImages) {
        auto bytes = BootImageBytes(image);
        size_t sectors = image == BootImage::Boot1xalt ? 2 : 1;
        ASSERT_EQ(bytes.size(), 512 * sectors) << int(image);
        EXPECT_EQ(bytes[510], 0x55) << int(image);
        EXPECT_EQ(bytes[511], 0xAA) << int(image);
    }
    // An exFAT boot sector after the first ends with the 32-bit signature AA550000h.
    auto second = BootImageBytes(BootImage::Boot1xalt).subspan(512);
    EXPECT_EQ(std::vector<uint8_t>(second.end() - 4, second.end()),
              (std::vector<uint8_t>{0, 0, 0x55, 0xAA}));
}

TEST(BootImage, MbrCodeLeavesSignatureAndPartitionTableFree) {
    for (BootImage image : kMbrImages) {
        // The program writes the disk signature at 440 and the table at 446.
        EXPECT_TRUE(Zero(image, 444, 510)) << int(image);
        if (image != BootImage::MbrBin) {
            EXPECT_TRUE(Zero(image, 440, 444)) << int(image);
        }
        EXPECT_NE(BootImageBytes(image)[0], 0) << int(image);
    }
    EXPECT_EQ(Text(BootImage::MbrBin, 440, 444), "DUET");
}

TEST(BootImage, MbrTextsLieInTheCode) {
    EXPECT_NE(Text(BootImage::Boot0, 0, 440).find("boot0: "), std::string::npos);
    EXPECT_NE(Text(BootImage::Boot0, 0, 440).find("error"), std::string::npos);
    std::string usb = Text(BootImage::UsbHddPlus, 0, 440);
    EXPECT_NE(usb.find("Start booting from USB device..."), std::string::npos);
    EXPECT_NE(usb.find("Boot failed"), std::string::npos);
}

TEST(BootImage, Fat32LoadersLeaveTheParameterBlockToTheVolume) {
    // boot1f32alt: near jump, BPB area zero, the 8.3 name right after it.
    EXPECT_EQ(BootImageBytes(BootImage::Boot1f32alt)[0], 0xE9);
    EXPECT_TRUE(Zero(BootImage::Boot1f32alt, 3, 90));
    EXPECT_EQ(Text(BootImage::Boot1f32alt, 0x5A, 0x65), "BOOT       ");

    // Bs32.bin: a sample parameter block that the volume's own replaces.
    EXPECT_EQ(Text(BootImage::Bs32Bin, 3, 11), "INTEL   ");
    EXPECT_EQ(Text(BootImage::Bs32Bin, 82, 90), "FAT32   ");
    EXPECT_NE(Text(BootImage::Bs32Bin, 90).find("EFILDR20   "), std::string::npos);

    // Both jump past bytes 3-89 (and the name) into their code.
    for (BootImage image : {BootImage::Boot1f32alt, BootImage::Bs32Bin}) {
        size_t target = JumpTarget(image);
        EXPECT_GE(target, 0x65u) << int(image);
        EXPECT_LT(target, 510u) << int(image);
        EXPECT_NE(BootImageBytes(image)[target], 0) << int(image);
    }
}

TEST(BootImage, ExFatLoaderLeavesTheHeaderToTheVolume) {
    auto bytes = BootImageBytes(BootImage::Boot1xalt);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3),
              (std::vector<uint8_t>{0xEB, 0x76, 0x90}));
    EXPECT_EQ(JumpTarget(BootImage::Boot1xalt), 120u);
    EXPECT_TRUE(Zero(BootImage::Boot1xalt, 3, 120));
    EXPECT_NE(bytes[120], 0);
    // The texts belong to the second sector.
    std::string second = Text(BootImage::Boot1xalt, 512);
    for (const char* text : {"boot1x: ", "init", "error"})
        EXPECT_NE(second.find(text), std::string::npos) << text;
    EXPECT_EQ(Text(BootImage::Boot1xalt, 0, 512).find("boot1x"), std::string::npos);
}

}  // namespace

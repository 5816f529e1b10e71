// Writes the program icon at the sizes desktops show (16, 32, 48) and at the picture's own
// size: as an .ico file for the Windows resources, or as PNG files in a hicolor icon theme
// tree for the Linux menu. Runs on the build machine:
//   write_icon <output.ico>
//   write_icon --hicolor <folder>   (<folder>/SIZExSIZE/apps/stickforge.png)
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/icons.h"
#include "core/ids.h"

namespace {

constexpr int kSamples = 8;  // per axis, for each scaled pixel

// Average of kSamples x kSamples points, weighted by alpha so clear pixels add no colour.
uint32_t ScaledPixel(const ui::Image& image, int x, int y, int size) {
    uint64_t alpha = 0, red = 0, green = 0, blue = 0;
    for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx) {
            int col = (x * kSamples + sx) * image.w / (size * kSamples);
            int row = (y * kSamples + sy) * image.h / (size * kSamples);
            uint32_t pixel = image.pixels[size_t(row) * image.w + col];
            uint32_t a = pixel >> 24;
            alpha += a;
            red += ((pixel >> 16) & 0xFF) * a;
            green += ((pixel >> 8) & 0xFF) * a;
            blue += (pixel & 0xFF) * a;
        }
    if (alpha == 0) return 0;
    uint32_t a = uint32_t(alpha / (kSamples * kSamples));
    return a << 24 | uint32_t(red / alpha) << 16 | uint32_t(green / alpha) << 8 |
           uint32_t(blue / alpha);
}

ui::Image Scaled(const ui::Image& image, int size) {
    ui::Image scaled{size, size, std::vector<uint32_t>(size_t(size) * size)};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            scaled.pixels[size_t(y) * size + x] = ScaledPixel(image, x, y, size);
    return scaled;
}

class Writer {
public:
    void U8(uint8_t value) { bytes.push_back(value); }
    void U16(uint16_t value) {
        U8(value & 0xFF);
        U8(value >> 8);
    }
    void U32(uint32_t value) {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
    void BigU32(uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) U8(uint8_t(value >> shift));
    }
    void Bytes(const void* data, size_t size) {
        auto* first = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), first, first + size);
    }
    std::vector<uint8_t> bytes;
};

int MaskStride(int width) { return (width + 31) / 32 * 4; }

uint32_t ImageBytes(const ui::Image& image) {
    return 40 + uint32_t(image.w * image.h * 4 + MaskStride(image.w) * image.h);
}

// An icon image: a bitmap header of twice the height, the BGRA rows bottom up, then the
// AND mask (set where the pixel is clear).
void WriteImage(Writer& out, const ui::Image& image) {
    for (uint32_t field : {40u, uint32_t(image.w), uint32_t(image.h * 2)}) out.U32(field);
    out.U16(1);
    out.U16(32);
    for (int i = 0; i < 6; ++i) out.U32(i == 1 ? ImageBytes(image) - 40 : 0);
    for (int y = image.h - 1; y >= 0; --y)
        for (int x = 0; x < image.w; ++x) out.U32(image.pixels[size_t(y) * image.w + x]);
    for (int y = image.h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(MaskStride(image.w));
        for (int x = 0; x < image.w; ++x)
            if ((image.pixels[size_t(y) * image.w + x] >> 24) == 0) row[x / 8] |= 0x80 >> (x % 8);
        for (uint8_t byte : row) out.U8(byte);
    }
}

std::vector<uint8_t> IconFile(const std::vector<ui::Image>& images) {
    Writer out;
    out.U16(0);
    out.U16(1);  // icon
    out.U16(uint16_t(images.size()));
    uint32_t offset = 6 + 16 * uint32_t(images.size());
    for (const ui::Image& image : images) {
        out.U8(uint8_t(image.w));
        out.U8(uint8_t(image.h));
        out.U16(0);  // no palette, reserved
        out.U16(1);  // planes
        out.U16(32);
        out.U32(ImageBytes(image));
        out.U32(offset);
        offset += ImageBytes(image);
    }
    for (const ui::Image& image : images) WriteImage(out, image);
    return out.bytes;
}

void PngChunk(Writer& out, const char* type, const std::vector<uint8_t>& data) {
    out.BigU32(uint32_t(data.size()));
    size_t start = out.bytes.size();
    out.Bytes(type, 4);
    out.Bytes(data.data(), data.size());
    out.BigU32(uint32_t(crc32(0, out.bytes.data() + start, uInt(out.bytes.size() - start))));
}

// 8-bit RGBA, no interlace; each row starts with filter type 0.
std::vector<uint8_t> PngFile(const ui::Image& image) {
    Writer header;
    header.BigU32(uint32_t(image.w));
    header.BigU32(uint32_t(image.h));
    for (uint8_t field : {8, 6, 0, 0, 0}) header.U8(field);
    std::vector<uint8_t> rows;
    for (int y = 0; y < image.h; ++y) {
        rows.push_back(0);
        for (int x = 0; x < image.w; ++x) {
            uint32_t pixel = image.pixels[size_t(y) * image.w + x];
            for (int shift : {16, 8, 0, 24}) rows.push_back(uint8_t(pixel >> shift));
        }
    }
    uLongf packedSize = compressBound(uLong(rows.size()));
    std::vector<uint8_t> packed(packedSize);
    compress2(packed.data(), &packedSize, rows.data(), uLong(rows.size()), Z_BEST_COMPRESSION);
    packed.resize(packedSize);
    Writer out;
    out.Bytes("\x89PNG\r\n\x1a\n", 8);
    PngChunk(out, "IHDR", header.bytes);
    PngChunk(out, "IDAT", packed);
    PngChunk(out, "IEND", {});
    return out.bytes;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out) written = std::fclose(out) == 0 && written;
    if (!written) std::perror(path.c_str());
    return written;
}

bool WriteHicolorTree(const std::filesystem::path& root, const std::vector<ui::Image>& images) {
    for (const ui::Image& image : images) {
        std::string size = std::to_string(image.w);
        std::filesystem::path folder = root / (size + "x" + size) / "apps";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!WriteFile((folder / "stickforge.png").string(), PngFile(image))) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool hicolor = argc == 3 && std::strcmp(argv[1], "--hicolor") == 0;
    if (argc != 2 && !hicolor) {
        std::fprintf(stderr, "usage: write_icon <output.ico> | write_icon --hicolor <folder>\n");
        return 2;
    }
    ui::Image icon = app::ProgramImage(core::ProgramIcon72);
    std::vector<ui::Image> images{Scaled(icon, 16), Scaled(icon, 32), Scaled(icon, 48), icon};
    bool written =
        hicolor ? WriteHicolorTree(argv[2], images) : WriteFile(argv[1], IconFile(images));
    return written ? 0 : 1;
}

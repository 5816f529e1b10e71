#include "ui/win32/pictures.h"

#include <cstring>

namespace ui::win32 {
namespace {

struct Dib {
    Bitmap bitmap;
    uint8_t* bits = nullptr;
    int stride = 0;
};

// A top-down DIB section of 24 or 32 bits per pixel.
Dib CreateDib(int width, int height, int bitsPerPixel) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(bitsPerPixel);
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Dib dib;
    dib.bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib.bitmap) return {};
    dib.bits = static_cast<uint8_t*>(bits);
    dib.stride = (width * bitsPerPixel / 8 + 3) & ~3;
    return dib;
}

// Nearest pixel of the image for (x, y) of a size x size grid; clear outside the image.
uint32_t Sample(const Image& image, int x, int y, int size) {
    if (image.w <= 0 || image.h <= 0) return 0;
    size_t index = size_t(y * image.h / size) * image.w + x * image.w / size;
    return index < image.pixels.size() ? image.pixels[index] : 0;
}

uint32_t Premultiplied(uint32_t argb) {
    uint32_t alpha = argb >> 24;
    auto channel = [&](int shift) { return (((argb >> shift) & 0xFF) * alpha / 255) << shift; };
    return alpha << 24 | channel(16) | channel(8) | channel(0);
}

uint8_t Blend(uint32_t argb, COLORREF background, int shift, int backgroundShift) {
    uint32_t alpha = argb >> 24;
    uint32_t front = (argb >> shift) & 0xFF, back = (background >> backgroundShift) & 0xFF;
    return uint8_t((front * alpha + back * (255 - alpha)) / 255);
}

}  // namespace

Bitmap MenuPicture(const Image& image, int size) {
    Dib dib = CreateDib(size, size, 32);
    if (!dib.bitmap) return {};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            uint32_t pixel = Premultiplied(Sample(image, x, y, size));
            std::memcpy(dib.bits + y * dib.stride + x * 4, &pixel, 4);  // B, G, R, A in memory
        }
    return std::move(dib.bitmap);
}

Bitmap OpaquePicture(const Image& image, COLORREF background) {
    Dib dib = CreateDib(image.w, image.h, 24);
    if (!dib.bitmap || image.pixels.size() < size_t(image.w) * image.h) return {};
    for (int y = 0; y < image.h; ++y)
        for (int x = 0; x < image.w; ++x) {
            uint32_t pixel = image.pixels[size_t(y) * image.w + x];
            uint8_t* out = dib.bits + y * dib.stride + x * 3;
            out[0] = Blend(pixel, background, 0, 16);  // COLORREF is 0x00BBGGRR
            out[1] = Blend(pixel, background, 8, 8);
            out[2] = Blend(pixel, background, 16, 0);
        }
    return std::move(dib.bitmap);
}

}  // namespace ui::win32

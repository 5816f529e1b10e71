#include "ui/fltk/images.h"

namespace ui::fltk {

std::unique_ptr<Fl_RGB_Image> ToFltkImage(const Image& image) {
    constexpr int kDepth = 4;
    size_t count = size_t(image.w) * size_t(image.h);
    auto* rgba = new uchar[count * kDepth]();
    for (size_t i = 0; i < count && i < image.pixels.size(); ++i) {
        uint32_t argb = image.pixels[i];
        uchar* pixel = rgba + i * kDepth;
        pixel[0] = uchar(argb >> 16);
        pixel[1] = uchar(argb >> 8);
        pixel[2] = uchar(argb);
        pixel[3] = uchar(argb >> 24);
    }
    auto result = std::make_unique<Fl_RGB_Image>(rgba, image.w, image.h, kDepth);
    result->alloc_array = 1;  // the image frees the pixels
    return result;
}

void ImageStore::Register(int number, const Image& image) { images_[number] = ToFltkImage(image); }

Fl_RGB_Image* ImageStore::Find(int number) const {
    auto it = images_.find(number);
    return it == images_.end() ? nullptr : it->second.get();
}

}  // namespace ui::fltk

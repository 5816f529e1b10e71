// The program's pictures as FLTK images.
#pragma once

#include <FL/Fl_RGB_Image.H>

#include <map>
#include <memory>

#include "ui/toolkit.h"

namespace ui::fltk {

// An RGBA image owning its pixels; fully transparent when the picture is empty.
std::unique_ptr<Fl_RGB_Image> ToFltkImage(const Image& image);

class ImageStore {
public:
    void Register(int number, const Image& image);
    Fl_RGB_Image* Find(int number) const;  // null when not registered

private:
    std::map<int, std::unique_ptr<Fl_RGB_Image>> images_;
};

}  // namespace ui::fltk

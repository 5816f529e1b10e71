// The program's pictures as GDI bitmaps.
#pragma once

#include "ui/win32/handles.h"
#include "ui/win32/win32.h"

namespace ui::win32 {

// size x size, 32-bit with premultiplied alpha, as menus draw item bitmaps.
Bitmap MenuPicture(const Image& image, int size);

// The picture laid over a solid background, without alpha, so static controls show it
// as it is.
Bitmap OpaquePicture(const Image& image, COLORREF background);

}  // namespace ui::win32

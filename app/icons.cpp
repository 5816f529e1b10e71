// The icons are drawn from a few shapes rather than stored as pixel data.
#include "app/icons.h"

#include <cmath>
#include <numbers>

#include "core/ids.h"

namespace app {
namespace {

constexpr uint32_t kClear = 0x00000000;
constexpr uint32_t kInk = 0xFF202020;
constexpr uint32_t kGreen = 0xFF2E9E3E;
constexpr uint32_t kBlue = 0xFF2F6FD0;
constexpr uint32_t kGrey = 0xFF8C8C8C;
constexpr uint32_t kSilver = 0xFFD4D4D4;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kAmber = 0xFFE0A020;

class Canvas {
public:
    explicit Canvas(int size) { image_ = {size, size, std::vector<uint32_t>(size * size, kClear)}; }

    void Fill(int x, int y, int w, int h, uint32_t colour) {
        for (int row = y; row < y + h; ++row)
            for (int col = x; col < x + w; ++col) Put(col, row, colour);
    }
    void Frame(int x, int y, int w, int h, uint32_t colour) {
        Fill(x, y, w, 1, colour);
        Fill(x, y + h - 1, w, 1, colour);
        Fill(x, y, 1, h, colour);
        Fill(x + w - 1, y, 1, h, colour);
    }
    // Filled disc, or a ring of the given width when ring > 0.
    void Disc(double cx, double cy, double r, uint32_t colour, double ring = 0) {
        for (int row = 0; row < image_.h; ++row)
            for (int col = 0; col < image_.w; ++col) {
                double d = std::hypot(col + 0.5 - cx, row + 0.5 - cy);
                if (d <= r && (ring <= 0 || d >= r - ring)) Put(col, row, colour);
            }
    }
    ui::Image Take() { return std::move(image_); }

private:
    void Put(int x, int y, uint32_t colour) {
        if (x >= 0 && y >= 0 && x < image_.w && y < image_.h)
            image_.pixels[y * image_.w + x] = colour;
    }
    ui::Image image_;
};

ui::Image Gear() {
    Canvas c(16);
    for (int i = 0; i < 8; ++i) {
        double a = i * std::numbers::pi / 4;
        c.Disc(8 + 6 * std::cos(a), 8 + 6 * std::sin(a), 1.7, kGrey);
    }
    c.Disc(8, 8, 5.5, kGrey);
    c.Disc(8, 8, 2.2, kClear);
    return c.Take();
}

ui::Image Calculator() {
    Canvas c(16);
    c.Fill(3, 1, 10, 14, kGrey);
    c.Fill(4, 2, 8, 3, kWhite);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) c.Fill(4 + col * 3, 6 + row * 3, 2, 2, kSilver);
    c.Fill(10, 12, 2, 2, kAmber);
    return c.Take();
}

ui::Image Drive() {
    Canvas c(16);
    c.Fill(1, 5, 14, 7, kSilver);
    c.Frame(1, 5, 14, 7, kInk);
    c.Fill(11, 9, 2, 1, kGreen);
    c.Fill(3, 7, 6, 1, kGrey);
    return c.Take();
}

ui::Image DiskImage() {
    Canvas c(16);
    c.Fill(2, 2, 12, 12, kSilver);
    c.Frame(2, 2, 12, 12, kInk);
    c.Disc(8, 8, 4, kBlue);
    c.Disc(8, 8, 1.2, kWhite);
    return c.Take();
}

ui::Image Help() {
    Canvas c(16);
    c.Disc(8, 8, 7.5, kBlue);
    c.Fill(6, 4, 4, 1, kWhite);
    c.Fill(9, 5, 2, 2, kWhite);
    c.Fill(7, 7, 3, 1, kWhite);
    c.Fill(7, 8, 2, 2, kWhite);
    c.Fill(7, 11, 2, 2, kWhite);
    return c.Take();
}

ui::Image About() {
    Canvas c(16);
    c.Disc(8, 8, 7.5, kGreen);
    c.Fill(7, 3, 2, 2, kWhite);
    c.Fill(7, 6, 2, 7, kWhite);
    return c.Take();
}

// A USB stick with a four-leaf clover on it.
ui::Image ProgramIcon() {
    Canvas c(72);
    c.Fill(26, 2, 20, 16, kSilver);
    c.Frame(26, 2, 20, 16, kGrey);
    c.Fill(30, 7, 4, 4, kInk);
    c.Fill(38, 7, 4, 4, kInk);
    c.Fill(16, 18, 40, 52, kBlue);
    c.Frame(16, 18, 40, 52, kInk);
    for (auto [dx, dy] : {std::pair{-6, -6}, {6, -6}, {-6, 6}, {6, 6}})
        c.Disc(36 + dx, 42 + dy, 7, kGreen);
    c.Fill(35, 48, 3, 16, kGreen);
    return c.Take();
}

}  // namespace

ui::Image ProgramImage(int number) {
    switch (number) {
        case core::ConfigurationIcon:
            return Gear();
        case core::CalculatorIcon:
            return Calculator();
        case core::DriverIcon:
            return Drive();
        case core::DmgIcon:
            return DiskImage();
        case core::HelpIcon:
            return Help();
        case core::AboutIcon16:
            return About();
        case core::ProgramIcon72:
            return ProgramIcon();
        default:
            return {};
    }
}

void RegisterProgramImages() {
    for (int number = core::ConfigurationIcon; number <= core::ProgramIcon72; ++number)
        ui::UI().RegisterImage(number, ProgramImage(number));
}

}  // namespace app

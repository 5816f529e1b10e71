#include "disk/format_size.h"

#include <cmath>
#include <cstdio>

namespace disk {
namespace {

// Rounds half away from zero, then prints with exactly that many digits.
std::string Fixed(double value, int decimals) {
    double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
    return text;
}

}  // namespace

std::string FormatSize(int64_t bytes, uint8_t decimals) {
    // Single precision on purpose: the texts users compare against were made this way.
    float k = float(bytes) / 1024.0f;
    if (k < 1.0f) return std::to_string(bytes) + " B";
    if (k < 1024.0f) return Fixed(k, decimals) + " KB";
    if (k < 1048576.0f) return Fixed(k / 1024.0f, decimals) + " MB";
    if (k < 1073741824.0f) return Fixed(k / 1048576.0f, decimals + 1) + " GB";
    return Fixed(k / 1073741824.0f, decimals + 1) + " TB";
}

}  // namespace disk

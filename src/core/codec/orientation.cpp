#include "orientation.h"

#include <cstring>

namespace folvane::codec {

namespace {

// The stored pixel that lands at display position (x, y), for a stored frame of w x h pixels.
void storedPosition(int orientation, int x, int y, int w, int h, int& sx, int& sy)
{
    switch (orientation) {
    case 2: sx = w - 1 - x; sy = y; break;
    case 3: sx = w - 1 - x; sy = h - 1 - y; break;
    case 4: sx = x; sy = h - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = h - 1 - x; break;
    case 7: sx = w - 1 - y; sy = h - 1 - x; break;
    case 8: sx = w - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
    }
}

} // namespace

bool applyOrientation(Bitmap& bitmap, int orientation)
{
    if (orientation < 2 || orientation > 8 || bitmap.empty())
        return true;
    const int w = bitmap.width(), h = bitmap.height();
    const bool swap = orientation >= 5;
    Bitmap turned;
    if (!turned.create(swap ? h : w, swap ? w : h, bitmap.bitsPerPixel()))
        return false;
    turned.palette() = bitmap.palette();
    const int bpp = bitmap.bitsPerPixel();
    const size_t bytes = bpp >= 8 ? static_cast<size_t>(bpp / 8) : 0;
    for (int y = 0; y < turned.height(); ++y) {
        uint8_t* out = turned.row(y);
        for (int x = 0; x < turned.width(); ++x) {
            int sx = 0, sy = 0;
            storedPosition(orientation, x, y, w, h, sx, sy);
            if (bytes)
                std::memcpy(out + static_cast<size_t>(x) * bytes, bitmap.row(sy) + static_cast<size_t>(sx) * bytes, bytes);
            else
                turned.setIndex(y, x, bitmap.index(sy, sx));
        }
    }
    bitmap = std::move(turned);
    return true;
}

} // namespace folvane::codec

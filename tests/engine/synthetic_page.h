#pragma once
// Synthetic black-and-white pages for the skew tests and the benchmark: rows of glyph-like boxes
// laid out straight, then drawn tilted by a known angle. Every page is drawn analytically (each
// pixel asks whether its position, turned back by the angle, falls into a box), so the pages do
// not depend on the rotation code they help to test.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "deskew.h"

namespace folvane::test {

// An owned 1-bit frame with 32-bit aligned rows, bit 1 = ink.
struct BilevelPage {
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    std::vector<uint8_t> bits;

    BilevelPage() = default;
    BilevelPage(int w, int h, std::ptrdiff_t rowStride = 0)
        : width(w), height(h), stride(rowStride ? rowStride : (std::ptrdiff_t(w) + 31) / 32 * 4),
          bits(static_cast<size_t>(stride) * static_cast<size_t>(h), 0)
    {
    }

    engine::FrameView view() { return engine::FrameView{bits.data(), width, height, stride, 1}; }

    bool ink(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return false;
        return (bits[size_t(y) * size_t(stride) + size_t(x / 8)] >> (7 - x % 8)) & 1;
    }
    void set(int x, int y, bool on = true)
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        uint8_t& byte = bits[size_t(y) * size_t(stride) + size_t(x / 8)];
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (x % 8));
        byte = on ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
    }
    void fill(int x0, int y0, int x1, int y1)
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                set(x, y);
    }
    int64_t inkCount() const
    {
        int64_t n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                n += ink(x, y);
        return n;
    }
};

// A box of the straight layout, in pixel coordinates (both ends included).
struct LayoutBox {
    double x0, y0, x1, y1;
};

// Small deterministic generator so pages are the same on every run.
class PageRandom {
public:
    explicit PageRandom(uint32_t seed) : m_state(seed * 2654435761u + 1) {}
    uint32_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int between(int lo, int hi) { return lo + static_cast<int>(next() % uint32_t(hi - lo + 1)); }

private:
    uint32_t m_state;
};

// Text lines of glyph boxes: x-height boxes with some ascenders and descenders, letter gaps,
// word gaps. Lines start at (left, top) and are lineWidth long, pitch apart.
inline std::vector<LayoutBox> textLines(int left, int top, int lineWidth, int lines, int pitch, uint32_t seed,
                                        int xHeight = 22, bool ascenders = true)
{
    PageRandom random(seed);
    std::vector<LayoutBox> boxes;
    for (int line = 0; line < lines; ++line) {
        const int base = top + line * pitch + xHeight; // baseline
        int x = left;
        int lettersInWord = random.between(2, 8);
        while (true) {
            const int w = random.between(xHeight * 6 / 10, xHeight * 11 / 10);
            if (x + w > left + lineWidth)
                break;
            int y0 = base - xHeight;
            int y1 = base - 1;
            const int kind = ascenders ? random.between(0, 9) : 9;
            if (kind < 3)
                y0 -= xHeight / 2; // ascender
            else if (kind == 3)
                y1 += xHeight * 4 / 10; // descender
            boxes.push_back({double(x), double(y0), double(x + w - 1), double(y1)});
            x += w + random.between(xHeight / 6, xHeight / 4);
            if (--lettersInWord == 0) {
                x += xHeight * 3 / 4;
                lettersInWord = random.between(2, 8);
            }
        }
    }
    return boxes;
}

// Draws the boxes turned by angle (radians, +x towards +y) about the page centre.
inline BilevelPage drawTilted(int width, int height, const std::vector<LayoutBox>& boxes, double angle,
                              std::ptrdiff_t stride = 0)
{
    BilevelPage page(width, height, stride);
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    for (const LayoutBox& b : boxes) {
        // Bounding box of the turned box on the page.
        double minX = 1e18, maxX = -1e18, minY = 1e18, maxY = -1e18;
        const double xs[2] = {b.x0 - 0.5, b.x1 + 0.5};
        const double ys[2] = {b.y0 - 0.5, b.y1 + 0.5};
        for (double px : xs)
            for (double py : ys) {
                const double tx = cx + (px - cx) * c - (py - cy) * s;
                const double ty = cy + (px - cx) * s + (py - cy) * c;
                minX = std::min(minX, tx);
                maxX = std::max(maxX, tx);
                minY = std::min(minY, ty);
                maxY = std::max(maxY, ty);
            }
        const int fromX = std::max(0, int(std::floor(minX)));
        const int toX = std::min(width - 1, int(std::ceil(maxX)));
        const int fromY = std::max(0, int(std::floor(minY)));
        const int toY = std::min(height - 1, int(std::ceil(maxY)));
        for (int y = fromY; y <= toY; ++y)
            for (int x = fromX; x <= toX; ++x) {
                // Back into the straight layout.
                const double qx = cx + (x - cx) * c + (y - cy) * s;
                const double qy = cy - (x - cx) * s + (y - cy) * c;
                if (qx >= b.x0 - 0.5 && qx < b.x1 + 0.5 && qy >= b.y0 - 0.5 && qy < b.y1 + 0.5)
                    page.set(x, y);
            }
    }
    return page;
}

// The angle at which the ink of the page lines up best with rows: the projection profile along
// lines y = y0 + x·tan(a) is sharpest there. Searches ±range radians, first coarsely over a
// sample of the ink, then finely over all of it; a result at the edge of the range means the
// page is tilted by at least that much.
inline double profileAngle(const BilevelPage& page, double range = 0.012)
{
    std::vector<int> xs;
    std::vector<int> ys;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; x += 8) {
            if (page.bits[size_t(y) * size_t(page.stride) + size_t(x / 8)] == 0)
                continue;
            for (int i = x; i < std::min(x + 8, page.width); ++i)
                if (page.ink(i, y)) {
                    xs.push_back(i);
                    ys.push_back(y);
                }
        }
    const int extra = int(std::ceil(page.width * std::tan(range + 0.002))) + 2;
    std::vector<int64_t> bins(size_t(page.height + 2 * extra) + 1);
    auto score = [&](double a, size_t every) {
        std::fill(bins.begin(), bins.end(), 0);
        const double t = std::tan(a);
        for (size_t i = 0; i < xs.size(); i += every) {
            const int bin = int(std::floor(ys[i] - xs[i] * t + 0.5)) + extra;
            if (bin >= 0 && size_t(bin) < bins.size())
                ++bins[size_t(bin)];
        }
        double sum = 0;
        for (int64_t v : bins)
            sum += double(v) * double(v);
        return sum;
    };
    auto search = [&](double from, double to, double step, size_t every) {
        double best = from;
        double bestScore = -1;
        for (double a = from; a <= to + step / 2; a += step) {
            const double s = score(a, every);
            if (s > bestScore) {
                bestScore = s;
                best = a;
            }
        }
        return best;
    };
    const double coarse = search(-range, range, 0.0005, 4);
    return search(coarse - 0.0005, coarse + 0.0005, 0.00005, 1);
}

} // namespace folvane::test

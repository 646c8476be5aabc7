// In-place rotation of 1-bit frames, and straightening: estimate, check, rotate back.
//
// The rotation is nearest-neighbour about the frame's centre, stepped in 16.16 fixed point.
// It works row by row in place: the top half from the top down, then the bottom half from the
// bottom up. A destination row near the top needs source rows a little above it (already
// overwritten) and anywhere below it (still original); so the original of each row is kept in a
// ring of rows as it is overwritten, and the rows just above the middle, which the bottom half
// needs after the top half has replaced them, are copied aside before anything starts.
#include "deskew.h"

#include "deskew_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace folvane::engine::deskew {

namespace {

constexpr size_t kMaxRotationWorkBytes = size_t(256) << 20;
constexpr int64_t kOne = 65536;
constexpr int64_t kHalf = 32768;

int64_t halfFloor(int64_t v)
{
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

std::unique_ptr<uint8_t[]> tryAllocate(uint64_t bytes)
{
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes ? bytes : 1]());
}

class InPlaceRotation {
public:
    InPlaceRotation(const FrameView& frame, double angle)
        : m_frame(frame),
          m_w(frame.width),
          m_h(frame.height),
          m_rowBytes((int64_t(frame.width) + 7) / 8),
          m_sin(std::llround(std::sin(angle) * kOne)),
          m_cos(std::llround(std::cos(angle) * kOne))
    {
        // Rows on either side of a destination row that its source pixels can reach, once the
        // pull towards the centre (which only helps) is left out.
        m_reach = static_cast<int64_t>(std::ceil(std::fabs(std::sin(angle)) * (m_w - 1) / 2.0)) + 3;
        m_reach = std::min<int64_t>(m_reach, m_h);
        m_middle = m_h / 2;
        // With the angle beyond a right angle the bottom half can reach any row of the top half.
        const int64_t bandRows = std::cos(angle) >= 0 ? m_reach + 1 : m_middle;
        m_bandFirst = std::max<int64_t>(0, m_middle - bandRows);
    }

    uint64_t workBytes() const
    {
        const uint64_t rows = uint64_t(m_reach) + uint64_t(m_middle - m_bandFirst) + 1;
        return rows * uint64_t(m_rowBytes) + (2 * uint64_t(m_reach) + 8) * sizeof(const uint8_t*);
    }

    bool allocate()
    {
        m_ring = tryAllocate(uint64_t(m_reach) * uint64_t(m_rowBytes));
        m_band = tryAllocate(uint64_t(m_middle - m_bandFirst) * uint64_t(m_rowBytes));
        m_out = tryAllocate(uint64_t(m_rowBytes));
        m_sources.reset(new (std::nothrow) const uint8_t*[2 * size_t(m_reach) + 8]);
        return m_ring && m_band && m_out && m_sources;
    }

    void run()
    {
        for (int64_t r = m_bandFirst; r < m_middle; ++r)
            std::memcpy(m_band.get() + (r - m_bandFirst) * m_rowBytes, row(r), size_t(m_rowBytes));
        for (int64_t y = 0; y < m_middle; ++y)
            rotateRow(y, true);
        for (int64_t y = m_h - 1; y >= m_middle; --y)
            rotateRow(y, false);
    }

private:
    uint8_t* row(int64_t y) const { return m_frame.rows + y * m_frame.stride; }
    uint8_t* ringRow(int64_t y) const { return m_ring.get() + (y % m_reach) * m_rowBytes; }

    // The original of source row r while destination row y is being written.
    const uint8_t* source(int64_t r, int64_t y, bool topHalf) const
    {
        if (r < 0 || r >= m_h)
            return nullptr;
        if (topHalf) {
            if (r >= y)
                return row(r);
            if (r >= y - m_reach)
                return ringRow(r);
        } else {
            if (r > y)
                return r <= y + m_reach ? ringRow(r) : nullptr;
            if (r >= m_middle)
                return row(r);
        }
        if (r >= m_bandFirst && r < m_middle)
            return m_band.get() + (r - m_bandFirst) * m_rowBytes;
        return nullptr;
    }

    void rotateRow(int64_t y, bool topHalf)
    {
        const int64_t y2 = 2 * y - (m_h - 1);
        const int64_t x2 = -(m_w - 1);
        int64_t sx = (m_w - 1) * kHalf + kHalf + halfFloor(x2 * m_cos + y2 * m_sin);
        int64_t sy = (m_h - 1) * kHalf + kHalf + halfFloor(-x2 * m_sin + y2 * m_cos);
        const int64_t syLast = sy - (m_w - 1) * m_sin;
        const int64_t lo = std::max<int64_t>(std::min(sy, syLast) >> 16, 0);
        const int64_t hi = std::min<int64_t>(std::max(sy, syLast) >> 16, m_h - 1);
        const int64_t span = std::clamp<int64_t>(hi - lo + 1, 0, 2 * m_reach + 8);
        for (int64_t i = 0; i < span; ++i)
            m_sources[i] = source(lo + i, y, topHalf);

        uint8_t* out = m_out.get();
        std::memset(out, 0, size_t(m_rowBytes));
        for (int64_t x = 0; x < m_w; ++x, sx += m_cos, sy -= m_sin) {
            const int64_t ix = sx >> 16;
            const int64_t iy = (sy >> 16) - lo;
            if (ix < 0 || ix >= m_w || iy < 0 || iy >= span)
                continue;
            const uint8_t* src = m_sources[iy];
            if (src && ((src[ix >> 3] >> (7 - (ix & 7))) & 1))
                out[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
        }

        uint8_t* dest = row(y);
        if (m_reach > 0)
            std::memcpy(ringRow(y), dest, size_t(m_rowBytes));
        // Bits beyond the width in the last byte keep whatever they held.
        const int spare = static_cast<int>(m_rowBytes * 8 - m_w);
        const uint8_t keep = static_cast<uint8_t>((1u << spare) - 1);
        const uint8_t last = static_cast<uint8_t>((out[m_rowBytes - 1] & ~keep) | (dest[m_rowBytes - 1] & keep));
        std::memcpy(dest, out, size_t(m_rowBytes - 1));
        dest[m_rowBytes - 1] = last;
    }

    FrameView m_frame;
    int64_t m_w;
    int64_t m_h;
    int64_t m_rowBytes;
    int64_t m_sin;
    int64_t m_cos;
    int64_t m_reach = 0;
    int64_t m_middle = 0;
    int64_t m_bandFirst = 0;
    std::unique_ptr<uint8_t[]> m_ring;
    std::unique_ptr<uint8_t[]> m_band;
    std::unique_ptr<uint8_t[]> m_out;
    std::unique_ptr<const uint8_t*[]> m_sources;
};

} // namespace

bool rotateFrame(const FrameView& frame, double angle, size_t maxWorkBytes)
{
    if (!isBilevelFrame(frame) || !std::isfinite(angle) || std::fabs(angle) < kMinRotationAngle)
        return false;
    InPlaceRotation rotation(frame, angle);
    if (rotation.workBytes() > maxWorkBytes || !rotation.allocate())
        return false;
    rotation.run();
    return true;
}

} // namespace folvane::engine::deskew

namespace folvane::engine {

void rotateFrame(const FrameView& frame, double angle)
{
    deskew::rotateFrame(frame, angle, deskew::kMaxRotationWorkBytes);
}

double applySkewCorrection(const FrameView& frame, double skew)
{
    if (!(skew > -kMaxSkewAngle && skew < kMaxSkewAngle))
        return 0;
    return deskew::rotateFrame(frame, -skew, deskew::kMaxRotationWorkBytes) ? -skew : 0;
}

double straightenFrame(const FrameView& frame, bool refined)
{
    if (!deskew::isBilevelFrame(frame))
        return 0;
    const int64_t roundedWidth = (int64_t(frame.width) + 31) / 32 * 32;
    if (roundedWidth > kMaxStraightenSide || frame.height > kMaxStraightenSide)
        return 0;
    const double estimate = estimateSkew(frame);
    return applySkewCorrection(frame, refined ? refineSkew(frame, estimate) : estimate);
}

} // namespace folvane::engine

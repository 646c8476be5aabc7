// Measuring lines: a line that looks like text is cut into stretches at wide gaps, boxes of odd
// size are left out, and a straight line is fitted through the centres of the rest.
#include "deskew_internal.h"

#include <cmath>

namespace folvane::engine::deskew {

namespace {

using Wide = __int128;

// Integer statistics of the boxes first..stop (stop excluded); a vertical chain measures its
// gaps and extent along y.
struct ChainStats {
    int64_t n = 0;
    int64_t sumWidth = 0;
    int64_t avgWidth = 0;
    int64_t avgHeight = 0;
    int64_t avgGap = 0;
    int64_t extent = 0;
};

ChainStats statsOf(const SkewBox* first, const SkewBox* stop, bool vertical)
{
    ChainStats s;
    int64_t sumHeight = 0;
    int64_t sumGap = 0;
    const SkewBox* last = nullptr;
    for (const SkewBox* b = first; b && b != stop; b = b->next) {
        ++s.n;
        s.sumWidth += b->width;
        sumHeight += b->height;
        const SkewBox* next = b->next;
        if (next && next != stop)
            sumGap += vertical ? int64_t(next->y0) - b->y1 - 1 : int64_t(next->x0) - b->x1 - 1;
        last = b;
    }
    if (s.n == 0)
        return s;
    s.avgWidth = s.sumWidth / s.n;
    s.avgHeight = sumHeight / s.n;
    s.avgGap = sumGap / s.n;
    s.extent = vertical ? int64_t(last->y1) - first->y0 + 1 : int64_t(last->x1) - first->x0 + 1;
    return s;
}

// Text-like: not much taller than wide (or clearly spaced), and long for its height.
bool qualifiesAsLine(const ChainStats& s)
{
    if (s.n == 0)
        return false;
    const bool shape = s.avgHeight < 3 * s.avgWidth || s.avgGap > 1;
    const bool length = (s.extent >= 12 * s.avgHeight && s.n > 1) || (s.extent > 35 && s.n > 11);
    return shape && length;
}

bool qualifiesAsColumn(const ChainStats& s)
{
    return (s.extent >= 12 * s.sumWidth && s.n > 1) || s.n > 11;
}

} // namespace

void AngleFit::add(int x, int y)
{
    ++m_n;
    m_sx += x;
    m_sy += y;
    m_sxx += Wide(x) * x;
    m_sxy += Wide(x) * y;
    const Wide den = Wide(m_n) * m_sxx - Wide(m_sx) * m_sx;
    if (den != 0)
        m_slopeSum += static_cast<double>(Wide(m_n) * m_sxy - Wide(m_sx) * m_sy) / static_cast<double>(den);
    else if (m_n > 1)
        m_slopeSum += 100;
}

double AngleFit::angle() const
{
    // A single point has no direction.
    if (m_n < 2)
        return 0;
    if (m_n > 5)
        return std::atan(m_slopeSum / (m_n - 1));
    const Wide den = Wide(m_n) * m_sxx - Wide(m_sx) * m_sx;
    if (den == 0)
        return kHalfPi;
    return std::atan(static_cast<double>(Wide(m_n) * m_sxy - Wide(m_sx) * m_sy) / static_cast<double>(den));
}

void SkewEstimator::addMeasurement(double theta, bool twice)
{
    const int times = twice ? 2 : 1;
    for (int i = 0; i < times; ++i)
        m_angleSum += static_cast<float>(theta);
    m_measurements += times;
}

// Cuts the current line at gaps wider than twice its average box width and measures the
// stretches that are long enough. False when the line was not evaluated at all.
bool SkewEstimator::evaluateLine()
{
    if (m_verticalMeasured || !m_line.head)
        return false;
    const ChainStats line = statsOf(m_line.head, nullptr, false);
    spend(line.n);
    if (!qualifiesAsLine(line))
        return false;

    SkewBox* first = m_line.head;
    SkewBox* b = m_line.head;
    int64_t number = 1;
    int64_t heights = 0;
    for (; b->next; b = b->next) {
        heights += b->height;
        if (int64_t(b->next->x0) - b->x1 - 1 > 2 * line.avgWidth) {
            if (number > 11 || int64_t(b->x1) - first->x0 >= 12 * (heights / number)) {
                measureStretch(first, b->next, false);
                if (m_measurements >= 2)
                    return true;
            }
            first = b->next;
            number = 1;
            heights = b->height;
        } else {
            ++number;
        }
    }
    if (number > 12 || 12 * (heights / number) < int64_t(b->x1) - first->x0)
        measureStretch(first, nullptr, false);
    return true;
}

// A vertical chain is cut at vertical gaps wider than twice its average box height and its
// stretches are measured like lines turned on their side.
void SkewEstimator::evaluateVerticalChain()
{
    if (!m_vertical.head)
        return;
    const ChainStats chain = statsOf(m_vertical.head, nullptr, true);
    spend(chain.n);
    if (!qualifiesAsColumn(chain))
        return;

    SkewBox* first = m_vertical.head;
    SkewBox* b = m_vertical.head;
    int64_t number = 1;
    int64_t widths = 0;
    for (; b->next; b = b->next) {
        widths += b->width;
        if (int64_t(b->next->y0) - b->y1 - 1 > 2 * chain.avgHeight) {
            if (number > 11 || int64_t(b->y1) - first->y0 >= 12 * (widths / number)) {
                measureStretch(first, b->next, true);
                if (m_measurements >= 2)
                    return;
            }
            first = b->next;
            number = 1;
            widths = b->width;
        } else {
            ++number;
        }
    }
    if (number > 11 || int64_t(b->y1) - first->y0 >= 12 * (widths / number))
        measureStretch(first, nullptr, true);
}

void SkewEstimator::measureStretch(SkewBox* first, SkewBox* stop, bool vertical)
{
    const ChainStats s = statsOf(first, stop, vertical);
    spend(s.n);
    if (!(vertical ? qualifiesAsColumn(s) : qualifiesAsLine(s)))
        return;
    const bool twice = s.avgGap < 2 && (vertical ? s.avgWidth : s.avgHeight) < 12;

    const int64_t minHeight = 4 * s.avgHeight / 5;
    const int64_t maxHeight = 3 * s.avgHeight / 2;
    const int64_t minWidth = 4 * s.avgWidth / 5;
    const int64_t maxWidth = 3 * s.avgWidth / 2;
    int64_t remaining = 0;
    for (SkewBox* b = first; b && b != stop; b = b->next) {
        if (vertical)
            b->excluded = b->width < minWidth || b->width > maxWidth || b->height < minHeight;
        else
            b->excluded = b->height < minHeight || b->height > maxHeight || (s.avgGap > 1 && b->width < minWidth);
        if (!b->excluded)
            ++remaining;
    }
    if (remaining <= 11 && remaining < 4 * s.n / 5)
        return;

    if (vertical)
        m_verticalMeasured = true;
    else
        m_horizontalMeasured = true;
    // A column's centres run almost straight down. Its tilt from the vertical is fitted as x
    // against y: fitting y against x would need near-infinite slopes, and every step whose
    // centres share one column would count as slope 100, so a perfectly upright column would
    // come out tilted by 0.01 radians.
    AngleFit fit;
    for (const SkewBox* b = first; b && b != stop; b = b->next) {
        if (b->excluded)
            continue;
        const int cx = static_cast<int>((int64_t(b->x0) + b->x1) / 2);
        const int cy = static_cast<int>((int64_t(b->y0) + b->y1) / 2);
        if (vertical)
            fit.add(cy, cx);
        else
            fit.add(cx, cy);
    }
    if (fit.count() < 2)
        return;
    double theta = fit.angle();
    if (vertical) {
        // x falls by tan(skew) per row when the page is turned by skew; an upright column
        // measures 0.
        theta = -theta;
    } else if (theta == 0) {
        return;
    }
    addMeasurement(theta, twice);
}

} // namespace folvane::engine::deskew

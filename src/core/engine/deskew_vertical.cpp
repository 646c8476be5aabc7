// Vertical structures: a large box with a box of the same horizontal extent close below it is
// taken as the top of a column of equal boxes (a table column, a stack of frames). Each box of
// the current line is then followed down the page through a window that drifts with the column,
// and the chain of boxes found is measured for its tilt from the vertical.
#include "deskew_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace folvane::engine::deskew {

namespace {

constexpr int kWindowMargin = 6;    // columns added on each side of the window
constexpr int kShiftEvery = 40;     // empty rows between moves of the window
constexpr int kMaxStillMoves = 5;   // moves that left the window where it was
constexpr int kMinStructureSide = 23;

// Least-squares slope of the window's centre column against the row.
class DriftFit {
public:
    void add(int64_t row, int64_t column)
    {
        ++m_n;
        m_sr += double(row);
        m_sc += double(column);
        m_srr += double(row) * double(row);
        m_src += double(row) * double(column);
    }
    double slope() const
    {
        const double den = m_n * m_srr - m_sr * m_sr;
        if (m_n < 2 || den == 0)
            return 0;
        return (m_n * m_src - m_sr * m_sc) / den;
    }

private:
    double m_n = 0, m_sr = 0, m_sc = 0, m_srr = 0, m_src = 0;
};

int gapBetween(const SkewBox& left, const SkewBox& right)
{
    return right.x0 - left.x1 - 1;
}

} // namespace

bool SkewEstimator::startsVerticalStructure(const SkewBox& a, const SkewBox& b)
{
    if (m_horizontalMeasured || !workLeft() || b.y0 <= a.y1)
        return false;
    const int dx0 = std::abs(a.x0 - b.x0);
    const int dx1 = std::abs(a.x1 - b.x1);
    if (!((dx0 < 4 && dx1 < 4) || (dx0 < 6 && dx1 < 6 && dx0 + dx1 < 7)))
        return false;
    if (a.height <= kMinStructureSide || a.width <= kMinStructureSide)
        return false;

    // The boxes must lie closer to each other vertically than half of a's horizontal spacing.
    const int maxSpacing = 3 * a.width / 2 - 1;
    auto plausible = [&](int gap) { return gap >= 10 && gap <= maxSpacing; };
    int spacing = 0;
    if (a.next && plausible(gapBetween(a, *a.next))) {
        spacing = gapBetween(a, *a.next);
    } else if (&a == m_line.head) {
        spacing = 16;
    } else {
        const SkewBox* previous = m_line.head;
        int64_t steps = 0;
        while (previous && previous->next != &a) {
            previous = previous->next;
            ++steps;
        }
        spend(steps + 1);
        if (!previous || !plausible(gapBetween(*previous, a)))
            return false;
        spacing = gapBetween(*previous, a);
    }
    return int64_t(b.y0) - a.y1 < spacing / 2;
}

// Follows every box of the current line downwards until two measurements exist.
bool SkewEstimator::followLine()
{
    for (const SkewBox* b = m_line.head; b && m_measurements < 2 && workLeft(); b = b->next)
        followBox(*b);
    return m_measurements >= 2;
}

void SkewEstimator::emptyVerticalChain()
{
    dropBoxes(m_vertical.head, nullptr);
    m_vertical = Chain{};
}

bool SkewEstimator::appendToVerticalChain(int x0, int y0, int x1, int y1)
{
    SkewBox* box = makeBox(x0, y0, x1, y1);
    if (!box)
        return false;
    if (m_vertical.tail)
        m_vertical.tail->next = box;
    else
        m_vertical.head = box;
    m_vertical.tail = box;
    ++m_vertical.count;
    return true;
}

// First and last ink column of row y within from..to.
bool SkewEstimator::rowInkWithin(int y, int from, int to, int* inkFrom, int* inkTo)
{
    from = std::max(from, 0);
    to = std::min(to, m_width - 1);
    if (y < 0 || y >= m_H || from > to)
        return false;
    const uint8_t* row = m_rows + static_cast<std::ptrdiff_t>(y) * m_stride;
    int first = -1;
    int last = -1;
    for (int x = from; x <= to;) {
        if (x % 8 == 0 && x + 7 <= to && row[x / 8] == 0) {
            x += 8;
            continue;
        }
        if ((row[x / 8] >> (7 - x % 8)) & 1) {
            if (first < 0)
                first = x;
            last = x;
        }
        ++x;
    }
    if (first < 0)
        return false;
    *inkFrom = first;
    *inkTo = last;
    return true;
}

// Collects the ink below start, stretch by stretch, into the vertical chain and measures it.
// The window holds the columns of the last stretch plus a margin; across empty rows it drifts
// with the slope of the centres found so far. The search ends at the bottom of the frame, when
// the window would leave the frame, or after several moves that did not shift it.
void SkewEstimator::followBox(const SkewBox& start)
{
    emptyVerticalChain();
    if (!appendToVerticalChain(start.x0, start.y0, start.x1, start.y1))
        return;
    DriftFit drift;
    drift.add((int64_t(start.y0) + start.y1) / 2, (int64_t(start.x0) + start.x1) / 2);
    int widthAtPoint = start.width;
    int base0 = start.x0;
    int base1 = start.x1;
    int y = start.y1 + 1;
    bool firstStretch = true;

    while (y <= m_y1 && workLeft()) {
        int from = std::max(m_x0, base0 - kWindowMargin);
        int to = std::min(m_x1, base1 + kWindowMargin);
        int inkFrom = 0;
        int inkTo = 0;
        int empty = 0;
        int still = 0;
        bool found = false;
        while (y <= m_y1 && spend(to - from + 1)) {
            if (rowInkWithin(y, from, to, &inkFrom, &inkTo)) {
                found = true;
                break;
            }
            ++y;
            if (++empty % kShiftEvery != 0)
                continue;
            const double predicted = std::round(drift.slope() * kShiftEvery);
            if (predicted == 0) {
                if (++still >= kMaxStillMoves)
                    break;
                continue;
            }
            if (from + predicted < m_x0 || to + predicted > m_x1)
                break;
            const int shift = static_cast<int>(predicted);
            from += shift;
            to += shift;
        }
        if (!found)
            break;

        const int top = y;
        int x0 = inkFrom;
        int x1 = inkTo;
        for (++y; y <= m_y1 && spend(to - from + 1) && rowInkWithin(y, from, to, &inkFrom, &inkTo); ++y) {
            x0 = std::min(x0, inkFrom);
            x1 = std::max(x1, inkTo);
        }
        const int bottom = y - 1;
        if (firstStretch && top == start.y1 + 1) {
            SkewBox& head = *m_vertical.head;
            head.x0 = std::min(head.x0, x0);
            head.x1 = std::max(head.x1, x1);
            head.y1 = bottom;
            head.width = head.x1 - head.x0 + 1;
            head.height = head.y1 - head.y0 + 1;
        } else if (!appendToVerticalChain(x0, top, x1, bottom)) {
            break;
        }
        firstStretch = false;
        const int width = x1 - x0 + 1;
        if (10 * int64_t(width) > 9 * int64_t(widthAtPoint)) {
            drift.add((int64_t(top) + bottom) / 2, (int64_t(x0) + x1) / 2);
            widthAtPoint = width;
        }
        base0 = x0;
        base1 = x1;
    }
    evaluateVerticalChain();
    emptyVerticalChain();
}

} // namespace folvane::engine::deskew

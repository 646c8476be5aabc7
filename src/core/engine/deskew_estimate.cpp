// The row scan of the skew estimator: each row is unpacked once and split into runs of ink;
// per-column accumulators collect blobs while their columns hold ink, and when a stretch of
// columns turns white again the blob there becomes a box (or is erased as noise) and the box goes
// to the line builder. The scan stops as soon as two measurements exist.
#include "deskew.h"

#include "deskew_internal.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace folvane::engine::deskew {

namespace {

// Boxes are recycled, so the pool holds the tables and the boxes alive at one time; this cap
// only matters for frames built to defeat that.
constexpr size_t kPoolLimitBytes = size_t(64) << 20;

// Work units (line walks, pixels looked at while following vertical structures) allowed per
// pixel of the frame, on top of a fixed allowance. Real pages use a small fraction; a frame
// built to make the line rules quadratic ends its estimate early instead of hanging.
constexpr int64_t kWorkPerPixel = 4;
constexpr int64_t kWorkBase = 20'000'000;

// Noise: blobs this small that touch nothing are erased without becoming boxes.
constexpr int64_t kNoiseMaxSum = 48;
constexpr int kNoiseMaxWidth = 5;
constexpr int kNoiseMaxPeak = 5;

bool characterSized(int w, int h)
{
    return w <= 64 && h <= 64 && (w <= 48 || h <= 4) && (h <= 48 || w <= 4) && (w <= 24 || h <= 24);
}

} // namespace

bool isBilevelFrame(const FrameView& frame)
{
    if (!frame.rows || frame.bitsPerPixel != 1 || frame.width <= 0 || frame.height <= 0)
        return false;
    if (frame.width > INT_MAX - 32)
        return false;
    return frame.stride >= (static_cast<std::ptrdiff_t>(frame.width) + 7) / 8;
}

SkewEstimator::SkewEstimator(const FrameView& frame)
    : m_rows(frame.rows),
      m_stride(frame.stride),
      m_width(frame.width),
      m_W((frame.width + 31) / 32 * 32),
      m_H(frame.height),
      m_pool(kPoolLimitBytes)
{
    m_x1 = m_W - 1;
    m_y1 = m_H - 1;
    m_work = kWorkBase + kWorkPerPixel * std::min<int64_t>(int64_t(m_W) * int64_t(m_H), int64_t(1) << 40);
}

bool SkewEstimator::prepare()
{
    return m_rowBuffer.allocate(m_pool, m_W) && m_runs.allocate(m_pool, kMaxRuns)
        && m_top.allocate(m_pool, m_W) && m_count.allocate(m_pool, m_W)
        && m_segments.allocate(m_pool, kSegmentTableSize);
}

bool SkewEstimator::spend(int64_t work)
{
    m_work -= work;
    if (m_work <= 0)
        m_workLimitReached = true;
    return m_work > 0;
}

double SkewEstimator::run(SkewReport* report)
{
    scanRows();
    const double angle = m_measurements ? static_cast<double>(m_angleSum / static_cast<float>(m_measurements)) : 0.0;
    if (report) {
        report->angle = angle;
        report->angleSum = m_angleSum;
        report->measurements = m_measurements;
        report->horizontalMeasured = m_horizontalMeasured;
        report->verticalMeasured = m_verticalMeasured;
        report->boxesMade = m_boxesMade;
        report->noiseErased = m_noiseErased;
        report->workLimitReached = m_workLimitReached;
    }
    return angle;
}

void SkewEstimator::scanRows()
{
    for (int y = m_y0; y <= m_y1; ++y) {
        unpackRow(y);
        extractRuns();
        if (m_runCount == 0) {
            closeColumns(m_x0, m_x1, y);
        } else {
            closeColumns(m_x0, m_runs[0].start - 1, y);
            for (int i = 0; i < m_runCount && m_measurements < 2; ++i) {
                const Run run = m_runs.get(i);
                markColumns(run.start, run.length, y);
                closeColumns(run.start + run.length, run.start + run.length + run.gap - 1, y);
            }
        }
        if (m_measurements >= 2 || !spend(m_W / 8 + 1))
            return;
    }
    // Blobs that reach the last row end below it.
    closeColumns(m_x0, m_x1, m_y1 + 1);
    evaluateOpenLines();
}

// The lines still being built when the page ends are complete now; without this, the last
// text lines of a page (or its only line) would never be measured.
void SkewEstimator::evaluateOpenLines()
{
    if (m_measurements >= 2 || !workLeft())
        return;
    evaluateLine();
    if (m_measurements >= 2 || !m_candidate.head)
        return;
    emptyLine();
    promoteCandidate();
    evaluateLine();
}

void SkewEstimator::unpackRow(int y)
{
    const uint8_t* row = m_rows + static_cast<std::ptrdiff_t>(y) * m_stride;
    const int fullBytes = m_width / 8;
    int x = 0;
    for (int b = 0; b < fullBytes; ++b, x += 8) {
        const unsigned byte = row[b];
        for (int bit = 0; bit < 8; ++bit)
            m_rowBuffer[x + bit] = static_cast<uint8_t>((byte >> (7 - bit)) & 1);
    }
    if (x < m_width) {
        const unsigned byte = row[fullBytes];
        for (int bit = 0; x < m_width; ++bit, ++x)
            m_rowBuffer[x] = static_cast<uint8_t>((byte >> (7 - bit)) & 1);
    }
    for (; x < m_W; ++x)
        m_rowBuffer[x] = 0;
}

void SkewEstimator::extractRuns()
{
    m_runCount = 0;
    int x = m_x0;
    while (x <= m_x1 && !m_rowBuffer.get(x))
        ++x;
    while (x <= m_x1) {
        const int start = x;
        while (x <= m_x1 && m_rowBuffer.get(x))
            ++x;
        const int gapStart = x;
        while (x <= m_x1 && !m_rowBuffer.get(x))
            ++x;
        recordRun(start, gapStart - start, x - gapStart);
    }
}

// The run table holds at most kMaxRuns runs. When it fills up, its second run is stretched over
// everything recorded after it, white gaps included, and recording goes on behind it: a row with
// that many runs is halftone or texture, not text, and is treated as one wide stroke.
void SkewEstimator::recordRun(int start, int length, int gap)
{
    m_runs[m_runCount] = Run{start, length, gap};
    ++m_runCount;
    if (m_runCount == kMaxRuns) {
        const Run last = m_runs.get(kMaxRuns - 1);
        Run& folded = m_runs[1];
        folded.length = last.start + last.length - folded.start;
        folded.gap = last.gap;
        m_runCount = 2;
    }
}

void SkewEstimator::markColumns(int from, int length, int y)
{
    const int to = std::min(from + length - 1, m_x1);
    for (int c = std::max(from, m_x0); c <= to; ++c) {
        const int count = m_count.get(c);
        if (count == 0)
            m_top.set(c, y);
        m_count.set(c, count + 1);
    }
}

void SkewEstimator::clearColumns(int from, int width)
{
    for (int c = from; c < from + width; ++c) {
        m_top.set(c, 0);
        m_count.set(c, 0);
    }
}

// Columns from..to are white in row y. Every stretch of them that held ink in earlier rows is a
// finished piece of a blob: tiny isolated ones are erased, the others are examined.
void SkewEstimator::closeColumns(int from, int to, int y)
{
    from = std::max(from, m_x0);
    to = std::min(to, m_x1);
    m_segmentCount = 0;
    int c = from;
    while (c <= to) {
        if (m_count.get(c) == 0) {
            ++c;
            continue;
        }
        const int first = c;
        int64_t sum = 0;
        int peak = 0;
        while (c <= to && m_count.get(c) != 0) {
            const int count = m_count.get(c);
            sum += count;
            peak = std::max(peak, count);
            ++c;
        }
        const int width = c - first;
        const bool leftClear = first == 0 || m_count.get(first - 1) == 0;
        const bool rightClear = m_count.get(c) == 0;
        if (sum <= kNoiseMaxSum && width <= kNoiseMaxWidth && peak <= kNoiseMaxPeak && leftClear && rightClear) {
            clearColumns(first, width);
            ++m_noiseErased;
            continue;
        }
        if (m_segmentCount < kMaxSegments)
            m_segments[m_segmentCount++] = Segment{first, width, peak};
    }
    const int kept = m_segmentCount;
    for (int i = 0; i < kept; ++i) {
        if (examineSegment(m_segments.get(i), y) == Placement::Measured && m_measurements >= 2)
            break;
    }
}

Placement SkewEstimator::examineSegment(const Segment& segment, int y)
{
    const int s = segment.first;
    const int w = segment.width;
    // A character-sized piece whose blob goes on beside it waits until the whole blob is done.
    if (characterSized(w, segment.peak) && (m_count.get(s - 1) != 0 || m_count.get(s + w) != 0))
        return Placement::NotPlaced;
    int top = INT_MAX;
    for (int c = s; c < s + w; ++c)
        if (m_count.get(c) != 0)
            top = std::min(top, m_top.get(c));
    clearColumns(s, w);
    if (top == INT_MAX)
        return Placement::NotPlaced;
    SkewBox* box = makeBox(s, top, s + w - 1, y - 1);
    if (!box)
        return Placement::NotPlaced;
    ++m_boxesMade;
    return addToLine(box, true);
}

SkewBox* SkewEstimator::makeBox(int x0, int y0, int x1, int y1)
{
    SkewBox* box = m_free;
    if (box) {
        m_free = box->next;
    } else {
        box = static_cast<SkewBox*>(m_pool.allocate(sizeof(SkewBox)));
        if (!box)
            return nullptr;
    }
    *box = SkewBox{};
    box->x0 = x0;
    box->y0 = y0;
    box->x1 = x1;
    box->y1 = y1;
    box->width = x1 - x0 + 1;
    box->height = y1 - y0 + 1;
    return box;
}

void SkewEstimator::recycle(SkewBox* box)
{
    if (!box)
        return;
    box->next = m_free;
    box->orderNext = nullptr;
    m_free = box;
}

double estimateSkew(const FrameView& frame, SkewReport* report)
{
    if (report)
        *report = SkewReport{};
    if (!isBilevelFrame(frame))
        return 0;
    SkewEstimator estimator(frame);
    if (!estimator.prepare())
        return 0;
    const double angle = estimator.run(report);
    return std::isfinite(angle) ? angle : 0.0;
}

} // namespace folvane::engine::deskew

namespace folvane::engine {

double estimateSkew(const FrameView& frame)
{
    return deskew::estimateSkew(frame, nullptr);
}

} // namespace folvane::engine

// A finer skew estimate: the tilt at which the rows of the page, sheared back, line up the ink
// most sharply (the sum of squared row totals of the projection profile is largest), searched in
// a narrow range around a first estimate. A reduced copy is enough: some 440 rows, read 16
// pixels at a time, each group one point weighted by its ink; the sampled rows keep their full
// vertical position, which is what the angle needs.
#include "deskew.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "deskew_internal.h"

namespace folvane::engine {

namespace {

struct InkPoint {
    int32_t x; // pixel column of the group's centre
    int32_t y;
    int32_t weight; // pixels of ink in the group
};

// Squares of the row totals when every point is moved up by x · tan(angle). Rows are binned by
// the sampling step, so that no angle gains from the gaps between sampled rows.
double profileSharpness(const std::vector<InkPoint>& points, int height, int width, int rowStep, double angle,
                        std::vector<int64_t>& rows)
{
    const double slope = std::tan(angle);
    const int margin = static_cast<int>(std::ceil(std::fabs(slope) * width)) + 1;
    rows.assign(static_cast<size_t>((height + 2 * margin) / rowStep + 1), 0);
    const int64_t step = static_cast<int64_t>(std::llround(slope * 65536.0));
    const uint64_t reciprocal = (uint64_t(1) << 32) / static_cast<uint64_t>(rowStep) + 1; // for y / rowStep
    for (const InkPoint& p : points) {
        const int64_t shift = (static_cast<int64_t>(p.x) * step + 32768) >> 16;
        const auto y = static_cast<uint64_t>(p.y - shift + margin);
        rows[static_cast<size_t>((y * reciprocal) >> 32)] += p.weight;
    }
    double sum = 0;
    for (int64_t v : rows)
        sum += static_cast<double>(v) * static_cast<double>(v);
    return sum;
}

} // namespace

double refineSkew(const FrameView& frame, double estimate)
{
    if (!deskew::isBilevelFrame(frame) || !std::isfinite(estimate) || std::fabs(estimate) >= kMaxSkewAngle)
        return estimate;
    // About 440 sampled rows, whatever the resolution: every eighth row of an A4 page at 300 dpi.
    // The coarse search reads half of them.
    const int rowStep = std::clamp(frame.height / 440, 1, 8);
    constexpr int kGroupBytes = 2;
    std::vector<InkPoint> points;
    const int bytes = (frame.width + 7) / 8;
    for (int y = 0; y < frame.height; y += rowStep) {
        const uint8_t* row = frame.rows + static_cast<std::ptrdiff_t>(y) * frame.stride;
        for (int b = 0; b < bytes; b += kGroupBytes) {
            int ink = 0;
            for (int k = b; k < std::min(bytes, b + kGroupBytes); ++k) {
                unsigned v = row[k];
                if (k == bytes - 1 && frame.width % 8)
                    v &= 0xFF00u >> (frame.width % 8);
                ink += std::popcount(v);
            }
            if (ink)
                points.push_back({b * 8 + kGroupBytes * 4, y, ink});
        }
    }
    if (points.size() < 64)
        return estimate;
    std::vector<InkPoint> coarsePoints;
    for (const InkPoint& p : points)
        if ((p.y / rowStep) % 2 == 0)
            coarsePoints.push_back(p);
    std::vector<int64_t> rows;
    bool coarse = true;
    auto score = [&](double angle) {
        return coarse ? profileSharpness(coarsePoints, frame.height, frame.width, 2 * rowStep, angle, rows)
                      : profileSharpness(points, frame.height, frame.width, rowStep, angle, rows);
    };
    // Coarse to fine: 0.1° steps over ±0.5°, then 0.025° steps over ±0.05° around the best, then
    // the top of the parabola through the best and its two neighbours.
    constexpr double kDegree = M_PI / 180.0;
    double best = estimate, bestScore = score(estimate);
    double step = 0.1 * kDegree;
    double below = 0, above = 0; // scores one step either side of the best, at the last step
    double firstScore = 0;       // the first estimate's, on every sampled row
    for (int stage = 0; stage < 2; ++stage) {
        if (stage == 1) { // the fine search on every sampled row
            coarse = false;
            bestScore = score(best);
            firstScore = best == estimate ? bestScore : score(estimate);
        }
        const double centre = best;
        // The coarse best lies within half a coarse step of the top: two fine steps reach it.
        const int reach = stage == 0 ? 5 : 2;
        std::vector<double> scores(static_cast<size_t>(2 * reach + 1), -1);
        scores[static_cast<size_t>(reach)] = bestScore;
        for (int k = -reach; k <= reach; ++k) {
            const double angle = centre + k * step;
            if (k == 0 || std::fabs(angle) >= kMaxSkewAngle)
                continue;
            scores[static_cast<size_t>(k + reach)] = score(angle);
        }
        int top = reach;
        for (int k = 0; k <= 2 * reach; ++k)
            if (scores[static_cast<size_t>(k)] > scores[static_cast<size_t>(top)])
                top = k;
        best = centre + (top - reach) * step;
        bestScore = scores[static_cast<size_t>(top)];
        below = top > 0 ? scores[static_cast<size_t>(top - 1)] : -1;
        above = top < 2 * reach ? scores[static_cast<size_t>(top + 1)] : -1;
        if (stage == 0)
            step = 0.025 * kDegree;
    }
    if (below >= 0 && above >= 0) {
        const double curve = below - 2 * bestScore + above;
        if (curve < 0)
            best += 0.5 * (below - above) / curve * step;
    }
    // A page without lines of text has no sharper profile anywhere: keep the first estimate.
    return bestScore > firstScore * 1.001 ? best : estimate;
}

} // namespace folvane::engine

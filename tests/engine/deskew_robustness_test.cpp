// The estimator and the rotation on random and hostile 1-bit frames: they must finish, stay
// inside the frame's memory (the sanitizer build checks this) and give sane results.
#include "deskew.h"

#include "deskew_internal.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace folvane::engine {
namespace {

using test::BilevelPage;
using test::PageRandom;

struct Pattern {
    std::string name;
    int width;
    int height;
    std::function<bool(int x, int y)> ink;
};

std::vector<Pattern> hostilePatterns()
{
    return {
        {"all ink", 640, 480, [](int, int) { return true; }},
        {"alternate columns", 1600, 120, [](int x, int) { return x % 2 == 0; }},
        {"alternate rows", 640, 480, [](int, int y) { return y % 2 == 0; }},
        {"checkerboard", 800, 300, [](int x, int y) { return (x + y) % 2 == 0; }},
        {"dot grid", 700, 500, [](int x, int y) { return x % 3 == 0 && y % 3 == 0; }},
        {"thin stripes", 2000, 200, [](int x, int) { return x % 3 == 0; }},
        {"diagonals", 600, 600, [](int x, int y) { return (x + 2 * y) % 17 < 2; }},
        {"nested frames", 500, 500, [](int x, int y) { return std::min({x, y, 499 - x, 499 - y}) % 8 == 0; }},
        {"tall bars", 900, 900, [](int x, int y) { return x % 40 < 30 && y % 32 < 29; }},
        {"stacked squares", 400, 2000, [](int x, int y) { return x % 60 < 30 && y % 36 < 30; }},
        {"one row", 10240, 1, [](int x, int) { return x % 5 != 0; }},
        {"one column", 1, 5000, [](int, int y) { return y % 7 != 0; }},
        {"odd width", 37, 29, [](int x, int y) { return (x * y) % 5 == 1; }},
        {"staircase", 1200, 400, [](int x, int y) { return (y - x / 24) % 30 < 20 && x % 24 < 20; }},
        {"ink on the edges", 333, 222, [](int x, int y) { return x == 0 || y == 0 || x == 332 || y == 221; }},
    };
}

void expectSane(BilevelPage& page, const std::string& what)
{
    deskew::SkewReport report;
    const double angle = deskew::estimateSkew(page.view(), &report);
    EXPECT_TRUE(std::isfinite(angle)) << what;
    EXPECT_LE(std::fabs(angle), 1.5707964 + 1e-6) << what;
    EXPECT_EQ(angle == 0.0, report.measurements == 0 || report.angleSum == 0.0f) << what;
    const double applied = straightenFrame(page.view());
    EXPECT_TRUE(applied == 0.0 || std::fabs(applied) < kMaxSkewAngle) << what;
}

TEST(SkewRobustness, HostilePatternsFinishWithSaneResults)
{
    for (const Pattern& p : hostilePatterns()) {
        BilevelPage page(p.width, p.height);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                page.set(x, y, p.ink(x, y));
        const auto start = std::chrono::steady_clock::now();
        expectSane(page, p.name);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 20.0) << p.name;
    }
}

TEST(SkewRobustness, RandomFramesFinishWithSaneResults)
{
    PageRandom random(2024);
    for (int round = 0; round < 60; ++round) {
        const int w = random.between(1, 700);
        const int h = random.between(1, 500);
        const uint32_t density = uint32_t(random.between(1, 99));
        const int extraStride = random.between(0, 3);
        BilevelPage page(w, h, (w + 7) / 8 + extraStride);
        // Padding bytes hold random garbage too: it must never count as ink.
        for (uint8_t& byte : page.bits)
            byte = static_cast<uint8_t>(random.next());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                page.set(x, y, random.next() % 100 < density);
        expectSane(page, "round " + std::to_string(round));
    }
}

TEST(SkewRobustness, RandomBoxesFinishWithSaneResults)
{
    // Glyph-sized and larger boxes scattered at random: many partial lines, merges and cuts.
    PageRandom random(77);
    for (int round = 0; round < 12; ++round) {
        BilevelPage page(1200, 900);
        const int boxes = random.between(50, 1500);
        for (int i = 0; i < boxes; ++i) {
            const int x = random.between(0, 1199);
            const int y = random.between(0, 899);
            const int w = random.between(1, random.between(0, 3) == 0 ? 120 : 40);
            const int h = random.between(1, random.between(0, 3) == 0 ? 120 : 40);
            page.fill(x, y, std::min(1199, x + w), std::min(899, y + h));
        }
        expectSane(page, "round " + std::to_string(round));
    }
}

} // namespace
} // namespace folvane::engine

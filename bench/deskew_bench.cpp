// Skew estimation and rotation of an A4 page scanned at 300 dpi (2480 × 3508), with text lines
// tilted by one degree. Reports the estimate alongside the times.
#include <benchmark/benchmark.h>

#include <cmath>

#include "deskew.h"
#include "deskew_internal.h"
#include "synthetic_page.h"

namespace {

using folvane::test::BilevelPage;

constexpr double kTilt = M_PI / 180.0;

// 60 lines of 10-point text (x-height 21 pixels, 12-point line pitch) in 20 mm margins.
const BilevelPage& a4Page()
{
    static const BilevelPage page = folvane::test::drawTilted(
        2480, 3508, folvane::test::textLines(236, 236, 2008, 60, 50, 1, 21, true), kTilt);
    return page;
}

void estimateA4(benchmark::State& state)
{
    BilevelPage page = a4Page();
    folvane::engine::deskew::SkewReport report;
    for (auto _ : state)
        benchmark::DoNotOptimize(folvane::engine::deskew::estimateSkew(page.view(), &report));
    state.counters["estimate_rad"] = report.angle;
    state.counters["tilt_rad"] = kTilt;
    state.counters["boxes"] = report.boxesMade;
    state.counters["measurements"] = report.measurements;
}
BENCHMARK(estimateA4)->Unit(benchmark::kMillisecond);

// A page that holds text only at its foot: the estimator scans almost every row.
void estimateA4TextAtFoot(benchmark::State& state)
{
    BilevelPage page = folvane::test::drawTilted(
        2480, 3508, folvane::test::textLines(236, 3100, 2008, 4, 50, 1, 21, true), kTilt);
    folvane::engine::deskew::SkewReport report;
    for (auto _ : state)
        benchmark::DoNotOptimize(folvane::engine::deskew::estimateSkew(page.view(), &report));
    state.counters["estimate_rad"] = report.angle;
}
BENCHMARK(estimateA4TextAtFoot)->Unit(benchmark::kMillisecond);

void rotateA4(benchmark::State& state)
{
    BilevelPage page = a4Page();
    for (auto _ : state) {
        state.PauseTiming();
        page.bits = a4Page().bits;
        state.ResumeTiming();
        folvane::engine::rotateFrame(page.view(), -kTilt);
    }
}
BENCHMARK(rotateA4)->Unit(benchmark::kMillisecond);

void straightenA4(benchmark::State& state)
{
    BilevelPage page = a4Page();
    double applied = 0;
    for (auto _ : state) {
        state.PauseTiming();
        page.bits = a4Page().bits;
        state.ResumeTiming();
        applied = folvane::engine::straightenFrame(page.view());
    }
    state.counters["applied_rad"] = applied;
}
BENCHMARK(straightenA4)->Unit(benchmark::kMillisecond);

} // namespace

// The basic estimate (method 0) against the refined one (method 1) on A4 text pages tilted by
// tenths of a degree: time per page and the tilt left after straightening, in degrees.
void estimateTiltedA4(benchmark::State& state)
{
    const double tilt = static_cast<double>(state.range(0)) / 10.0 * M_PI / 180.0;
    const bool refined = state.range(1) == 1;
    BilevelPage page = folvane::test::drawTilted(
        2480, 3508, folvane::test::textLines(236, 236, 2008, 60, 50, 1, 21, true), tilt);
    double estimate = 0;
    for (auto _ : state) {
        estimate = folvane::engine::estimateSkew(page.view());
        if (refined)
            estimate = folvane::engine::refineSkew(page.view(), estimate);
        benchmark::DoNotOptimize(estimate);
    }
    state.counters["tilt_deg"] = tilt * 180.0 / M_PI;
    state.counters["residual_deg"] = std::fabs(estimate - tilt) * 180.0 / M_PI;
}
BENCHMARK(estimateTiltedA4)
    ->ArgsProduct({{10, 15, 20, 30, 50}, {0, 1}})
    ->ArgNames({"tilt_tenths", "refined"})
    ->Unit(benchmark::kMillisecond);

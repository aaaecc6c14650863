// Rendering, preview and RAW decoding of the test camera file, next to the
// floor of one memcpy of the float working image.
//
// Each render benchmark also reports x_memcpy: its time per iteration as a
// multiple of one memcpy of the working image, measured in the same process.

#include "vornalix.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The context with the CR2 loaded at scale 1 (2000 x 1333), shared by the
// render benchmarks.
VornalixContext* loaded_context() {
    static VornalixContext* ctx = [] {
        VornalixContext* c = vornalix_create_context();
        if (!c || vornalix_load_arw(c, VORNALIX_BENCH_CR2, 1) != 0) {
            std::fprintf(stderr, "cannot load %s: %s\n", VORNALIX_BENCH_CR2, vornalix_last_error(c));
            std::exit(1);
        }
        return c;
    }();
    return ctx;
}

// Bytes of the four-channel float working image of the loaded picture.
size_t working_image_bytes() {
    VornalixContext* ctx = loaded_context();
    return static_cast<size_t>(vornalix_get_width(ctx)) * vornalix_get_height(ctx) * 4 * sizeof(float);
}

// Median time of one memcpy of the working image, in seconds.
double memcpy_seconds() {
    static double seconds = [] {
        const size_t n = working_image_bytes();
        std::vector<char> a(n, 1), b(n, 2);
        std::vector<double> t;
        for (int i = 0; i < 21; ++i) {
            const auto start = Clock::now();
            std::memcpy(b.data(), a.data(), n);
            benchmark::DoNotOptimize(b.data());
            t.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        return t[t.size() / 2];
    }();
    return seconds;
}

void typical_edit(VornalixContext* ctx) {
    static const float curve[] = {0.0f, 0.0f, 0.25f, 0.22f, 0.75f, 0.80f, 1.0f, 1.0f};
    vornalix_set_temperature(ctx, 5200.0f);
    vornalix_set_tint(ctx, 5.0f);
    vornalix_set_exposure(ctx, 0.5f);
    vornalix_set_contrast(ctx, 20.0f);
    vornalix_set_tone_curve(ctx, 0, curve, 4);
    vornalix_set_saturation(ctx, 15.0f);
    vornalix_set_sharpening_amount(ctx, 40.0f);
    vornalix_set_sharpening_radius(ctx, 1.0f);
    vornalix_set_sharpening_threshold(ctx, 64.0f);
    vornalix_set_vignette_amount(ctx, 25.0f);
}

// The typical edit plus every other setting at a mid-slider value.
void everything_on(VornalixContext* ctx) {
    static const float red_curve[] = {0.0f, 0.0f, 0.5f, 0.55f, 1.0f, 1.0f};
    typical_edit(ctx);
    vornalix_set_brightness(ctx, 10.0f);
    vornalix_set_highlights(ctx, -30.0f);
    vornalix_set_shadows(ctx, 30.0f);
    vornalix_set_whites(ctx, 10.0f);
    vornalix_set_blacks(ctx, 5.0f);
    vornalix_set_tone_curve(ctx, 1, red_curve, 3);
    vornalix_set_clarity(ctx, 30.0f);
    vornalix_set_texture(ctx, 20.0f);
    vornalix_set_dehaze(ctx, 25.0f);
    vornalix_set_vibrance(ctx, 20.0f);
    vornalix_set_hsl(ctx, 2, 10.0f, 20.0f, -10.0f);
    vornalix_set_hsl(ctx, 5, -5.0f, 15.0f, 0.0f);
    vornalix_set_split_toning(ctx, 0, 40.0f, 30.0f, 10.0f);
    vornalix_set_split_toning(ctx, 1, 220.0f, 25.0f, 0.0f);
    vornalix_set_nr_luminance(ctx, 30.0f);
    vornalix_set_nr_color(ctx, 30.0f);
    vornalix_set_distortion(ctx, 10.0f);
    vornalix_set_ca_correction(ctx, 30.0f);
    vornalix_set_lens_vignette(ctx, 30.0f);
    vornalix_set_defringe(ctx, 30.0f);
    vornalix_set_rotation(ctx, 2.0f);
    vornalix_set_perspective_h(ctx, 10.0f);
    vornalix_set_perspective_v(ctx, -10.0f);
    vornalix_set_crop(ctx, 0.05f, 0.05f, 0.9f, 0.9f);
    vornalix_set_grain_amount(ctx, 20.0f);
    vornalix_set_grain_size(ctx, 25.0f);
}

enum Profile { kDefaults = 0, kTypical = 1, kEverything = 2 };

void set_profile(VornalixContext* ctx, int profile) {
    vornalix_reset_adjustments(ctx);
    if (profile == kTypical) typical_edit(ctx);
    if (profile == kEverything) everything_on(ctx);
}

void report_ratio(benchmark::State& state, double seconds) {
    const double per_iteration = seconds / static_cast<double>(state.iterations());
    state.counters["x_memcpy"] = per_iteration / memcpy_seconds();
}

void BM_MemcpyWorkingImage(benchmark::State& state) {
    const size_t n = working_image_bytes();
    std::vector<char> a(n, 1), b(n, 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), n);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void BM_Render(benchmark::State& state) {
    VornalixContext* ctx = loaded_context();
    set_profile(ctx, static_cast<int>(state.range(0)));
    const auto start = Clock::now();
    for (auto _ : state)
        if (vornalix_process(ctx) != 0) {
            state.SkipWithError(vornalix_last_error(ctx));
            break;
        }
    report_ratio(state, std::chrono::duration<double>(Clock::now() - start).count());
}

void BM_Preview(benchmark::State& state) {
    VornalixContext* ctx = loaded_context();
    set_profile(ctx, static_cast<int>(state.range(0)));
    std::vector<unsigned char> out(working_image_bytes());  // ample for 8-bit RGBA
    const auto start = Clock::now();
    for (auto _ : state)
        if (vornalix_get_preview(ctx, out.data(), static_cast<int>(out.size())) != 0) {
            state.SkipWithError(vornalix_last_error(ctx));
            break;
        }
    report_ratio(state, std::chrono::duration<double>(Clock::now() - start).count());
}

void BM_DecodeRaw(benchmark::State& state) {
    VornalixContext* ctx = vornalix_create_context();
    for (auto _ : state)
        if (vornalix_load_arw(ctx, VORNALIX_BENCH_CR2, static_cast<int>(state.range(0))) != 0) {
            state.SkipWithError(vornalix_last_error(ctx));
            break;
        }
    vornalix_destroy_context(ctx);
}

}  // namespace

BENCHMARK(BM_MemcpyWorkingImage)->Unit(benchmark::kMillisecond);
// profile: 0 defaults, 1 typical edit, 2 everything on.
BENCHMARK(BM_Render)->ArgName("profile")->Arg(kDefaults)->Arg(kTypical)->Arg(kEverything)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Preview)->ArgName("profile")->Arg(kDefaults)->Arg(kTypical)->Arg(kEverything)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRaw)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();

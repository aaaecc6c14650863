// Contexts are independent: several threads, each with its own context, load,
// edit, render, export, analyse and segment at the same time and get exactly
// what one thread alone gets. Built also under ThreadSanitizer
// (-DVORNALIX_TSAN=ON), where any state shared between contexts shows up.

#include "support/context_access.h"
#include "support/dng_writer.h"
#include "support/temp_dir.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Everything one session produces, compared between runs: the preview (last
// with the background blurred), the 16-bit export, the suggestions and the
// histogram.
struct Outcome {
    Bytes preview, exported;
    std::vector<float> suggestions = std::vector<float>(33);
    std::vector<unsigned int> histogram = std::vector<unsigned int>(4 * 256);
    int cutout = -1;
};

// One host session on its own context; files go to `prefix` + suffixes.
Outcome session(const std::string& input, const std::string& prefix) {
    Outcome o;
    ContextPtr ctx = make_context();
    VornalixContext* c = ctx.get();
    if (vornalix_load_arw(c, input.c_str(), 2) != 0) return o;
    vornalix_set_sharpening_amount(c, 40.0f);
    o.preview.resize(static_cast<size_t>(vornalix_get_width(c)) * vornalix_get_height(c) * 4);
    const int preview_size = static_cast<int>(o.preview.size());
    if (vornalix_get_preview(c, o.preview.data(), preview_size) != 0) return o;
    if (vornalix_export_png(c, (prefix + ".png").c_str(), 16) == 0) o.exported = file_bytes(prefix + ".png");

    float* s = o.suggestions.data();
    vornalix_auto_enhance(c, s);
    vornalix_auto_straighten(c, s + 32);
    unsigned int* h = o.histogram.data();
    vornalix_get_histogram(c, h, h + 256, h + 512, h + 768);

    vornalix_segment_subject(c, 0.5f, 0.5f);
    vornalix_set_bg_blur(c, 50.0f);
    vornalix_get_preview(c, o.preview.data(), preview_size);
    o.cutout = vornalix_export_subject_png(c, (prefix + "-cut.png").c_str());
    return o;
}

// A small picture with a bright block on a gradient: something to segment,
// straighten and balance.
cv::Mat picture(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    m.forEach<cv::Vec3b>([](cv::Vec3b& v, const int* p) { v = {uchar(40 + p[1]), uchar(30 + p[0]), 60}; });
    cv::rectangle(m, {w / 3, h / 3}, {2 * w / 3, 2 * h / 3}, {230, 220, 250}, cv::FILLED);
    return m;
}

}  // namespace

TEST(Concurrency, ContextsOnSeveralThreadsMatchOneThreadAlone) {
#ifdef VORNALIX_TSAN
    // OpenCV's and LibRaw's own worker pools synchronise in code the sanitizer
    // cannot see; run their kernels on the calling threads so every access
    // made for a context happens on that context's thread, in plain view.
    cv::setNumThreads(0);
#endif
    vornalix::testing::TempDir dir;
    std::vector<std::string> inputs = {dir.file("a.png"), dir.file("c.dng")};
    ASSERT_TRUE(cv::imwrite(inputs[0], picture(96, 64)));
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(inputs[1], vornalix::testing::make_test_scene(48, 32)));

    std::vector<Outcome> alone;
    for (size_t i = 0; i < inputs.size(); ++i) {
        alone.push_back(session(inputs[i], dir.file("alone" + std::to_string(i))));
        ASSERT_FALSE(alone[i].exported.empty());
        ASSERT_EQ(alone[i].cutout, 0);
    }

    constexpr int kThreads = 4;
    std::vector<Outcome> together(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            together[t] = session(inputs[t % inputs.size()], dir.file("thread" + std::to_string(t)));
        });
    for (std::thread& th : threads) th.join();

    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        const Outcome &a = alone[t % inputs.size()], &b = together[t];
        EXPECT_EQ(b.preview, a.preview);
        EXPECT_EQ(b.exported, a.exported);
        EXPECT_EQ(b.suggestions, a.suggestions);
        EXPECT_EQ(b.histogram, a.histogram);
    }
}

TEST(Concurrency, SegmentationDependsOnThePictureAloneNotOnTheThreadsRandomState) {
    ContextPtr ctx = make_context();
    cv::Mat rgba;
    cv::cvtColor(picture(96, 64), rgba, cv::COLOR_BGR2RGBA);
    rgba.convertTo(rgba, CV_16U, 257.0);
    ctx->pipeline.source = vornalix::ImageBuffer(rgba);
    std::vector<unsigned char> masks[2] = {std::vector<unsigned char>(96 * 64), std::vector<unsigned char>(96 * 64)};
    for (auto& mask : masks) {
        cv::theRNG().next();  // the host (or another context on this thread) draws from the generator
        const uint64 host_state = cv::theRNG().state;
        ASSERT_EQ(vornalix_segment_subject(ctx.get(), 0.5f, 0.5f), 0);
        ASSERT_EQ(vornalix_get_mask(ctx.get(), mask.data(), 96 * 64), 0);
        EXPECT_EQ(cv::theRNG().state, host_state);  // and finds its own state unchanged
    }
    EXPECT_EQ(masks[0], masks[1]);
}

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
#include <tuple>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// What one host session on its own context produces, compared between runs:
// the preview (last with the background blurred), the 16-bit export and the
// suggestions. Files go to `prefix` + suffixes.
std::tuple<Bytes, Bytes, std::vector<float>> session(const std::string& input, const std::string& prefix) {
    ContextPtr ctx = make_context();
    VornalixContext* c = ctx.get();
    std::vector<float> suggestions(33);
    if (vornalix_load_arw(c, input.c_str(), 2) != 0) return {};
    vornalix_set_sharpening_amount(c, 40.0f);
    Bytes preview(static_cast<size_t>(vornalix_get_width(c)) * vornalix_get_height(c) * 4);
    if (vornalix_export_png(c, (prefix + ".png").c_str(), 16) != 0) return {};
    std::ifstream in(prefix + ".png", std::ios::binary);
    const Bytes exported{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    vornalix_auto_enhance(c, suggestions.data());
    vornalix_auto_straighten(c, &suggestions[32]);
    unsigned int h[4][256];
    vornalix_get_histogram(c, h[0], h[1], h[2], h[3]);
    vornalix_segment_subject(c, 0.5f, 0.5f);
    vornalix_set_bg_blur(c, 50.0f);
    if (vornalix_export_subject_png(c, (prefix + "-cut.png").c_str()) != 0) return {};
    vornalix_get_preview(c, preview.data(), static_cast<int>(preview.size()));
    return {preview, exported, suggestions};
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

TEST(Concurrency, ContextsOnSeveralThreadsMatchOneThreadAloneAndLeaveTheHostsRandomState) {
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

    std::vector<std::tuple<Bytes, Bytes, std::vector<float>>> alone, together(4);
    for (size_t i = 0; i < inputs.size(); ++i) {
        alone.push_back(session(inputs[i], dir.file("alone" + std::to_string(i))));
        ASSERT_FALSE(std::get<1>(alone[i]).empty());
    }
    std::vector<std::thread> threads;
    for (size_t t = 0; t < together.size(); ++t)
        threads.emplace_back([&, t] { together[t] = session(inputs[t % inputs.size()], dir.file("thread" + std::to_string(t))); });
    for (std::thread& th : threads) th.join();
    for (size_t t = 0; t < together.size(); ++t) EXPECT_TRUE(together[t] == alone[t % inputs.size()]) << "thread " << t;

    // Segmentation depends on the picture alone, not on the thread's random state.
    ContextPtr ctx = make_context();
    ctx->pipeline.source = vornalix::ImageBuffer(picture(96, 64));
    Bytes masks[2] = {Bytes(96 * 64), Bytes(96 * 64)};
    for (auto& mask : masks) {
        cv::theRNG().next();  // the host (or another context on this thread) draws from the generator
        const uint64 host_state = cv::theRNG().state;
        ASSERT_EQ(vornalix_segment_subject(ctx.get(), 0.5f, 0.5f), 0);
        ASSERT_EQ(vornalix_get_mask(ctx.get(), mask.data(), 96 * 64), 0);
        EXPECT_EQ(cv::theRNG().state, host_state);  // and finds its own state unchanged
    }
    EXPECT_EQ(masks[0], masks[1]);
}

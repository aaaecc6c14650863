// Tone-curve tables and the curve stage.

#include "pipeline/pipeline.h"
#include "support/working_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using vornalix::CurvePoints;
using vornalix::EditParams;
using vornalix::Pipeline;

namespace {

constexpr float kTol = 1e-4f;
using Points = std::vector<std::pair<float, float>>;

std::vector<float> lut_of(const Points& pts) {
    CurvePoints c;
    c.points = pts;
    std::vector<float> lut(7, 0.5f);
    Pipeline::build_lut(c, lut);
    return lut;
}

float at(const std::vector<float>& lut, float x) { return lut[static_cast<int>(x * 65535.0f + 0.5f)]; }

}  // namespace

TEST(ToneCurveTable, FlatEndsClampedOvershootAndIdentityForTooFewPoints) {
    const auto one = lut_of({{0.3f, 0.9f}});
    ASSERT_EQ(one.size(), 65536u);
    EXPECT_EQ(one[32768], 32768.0f / 65535.0f);
    EXPECT_EQ(at(lut_of({{0.0f, 0.0f}, {0.5f, 1.0f}, {1.0f, 1.0f}}), 0.75f), 1.0f);  // the spline reaches 1.0625
    auto lut = lut_of({{0.2f, 0.3f}, {0.8f, 0.6f}});
    EXPECT_EQ(at(lut, 0.1f), 0.3f);
    EXPECT_NEAR(at(lut, 0.95f), 0.6f, 1e-6f);
    // A zero-width first segment gives the y of its left point.
    EXPECT_EQ(lut_of({{0.0f, 0.3f}, {0.0f, 0.7f}, {1.0f, 1.0f}})[0], 0.3f);
}

TEST(ToneCurveTable, ForwardSweepMatchesTheSegmentSearchBitForBit) {
    // The segment search written out as the per-entry scan; the table must come
    // out identical, also for points out of order and repeated abscissae.
    auto reference = [](const Points& p) {
        const int n = static_cast<int>(p.size());
        std::vector<float> lut(65536);
        for (int i = 0; i < 65536; ++i) {
            const float x = static_cast<float>(i) / 65535.0f;
            int k = n - 2;
            for (int j = 0; j <= n - 2; ++j)
                if (x <= p[j + 1].first) { k = j; break; }
            const int i0 = std::max(k - 1, 0), i1 = k, i2 = std::min(k + 1, n - 1), i3 = std::min(k + 2, n - 1);
            const float dx = p[i2].first - p[i1].first;
            float t = dx > 1e-6f ? (x - p[i1].first) / dx : 0.0f;
            t = std::min(std::max(t, 0.0f), 1.0f);
            const float p0 = p[i0].second, p1 = p[i1].second, p2 = p[i2].second, p3 = p[i3].second;
            const float y = 0.5f * (2.0f * p1 + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t * t +
                                    (-p0 + 3.0f * p1 - 3.0f * p2 + p3) * t * t * t);
            lut[i] = std::min(std::max(y, 0.0f), 1.0f);
        }
        return lut;
    };
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-0.1f, 1.1f);
    for (int trial = 0; trial < 5; ++trial) {
        Points pts(3 + trial * 2);
        for (auto& pt : pts) pt = {u(rng), u(rng)};
        if (trial % 2 == 0) std::sort(pts.begin(), pts.end());
        if (trial == 4) pts[2].first = pts[3].first;
        const auto expected = reference(pts), got = lut_of(pts);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << "trial " << trial;
    }
}

TEST(ToneCurveTable, MillionPointCurveBuildsInOneSweep) {
    // A search per entry would cost 65,536 x 1,000,000 steps on every render.
    Points pts(1000000);
    for (size_t j = 0; j < pts.size(); ++j) {
        const float x = static_cast<float>(j) / static_cast<float>(pts.size() - 1);
        pts[j] = {x, 1.0f - x};
    }
    EXPECT_NEAR(at(lut_of(pts), 0.25f), 0.75f, kTol);
}

TEST(ToneCurveTable, NonFinitePointsGiveNumbers) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (const Points& pts : {Points{{0.0f, 0.0f}, {nan, 0.5f}}, Points{{0.0f, inf}, {1.0f, -inf}},
                              Points{{-inf, 0.2f}, {0.5f, 0.5f}, {inf, 0.9f}}}) {
        const auto lut = lut_of(pts);
        EXPECT_TRUE(std::all_of(lut.begin(), lut.end(), [](float v) { return v >= 0.0f && v <= 1.0f; }));
    }
    // Where a NaN point enters the spline the entries are 0.
    EXPECT_EQ(at(lut_of({{0.0f, 0.0f}, {0.5f, nan}, {1.0f, 1.0f}}), 0.25f), 0.0f);
}

TEST(ToneCurveStage, MasterThenChannelNearestEntry) {
    Pipeline pl;
    EditParams p;
    p.curves[0].points = {{0.0f, 0.2f}, {1.0f, 0.8f}};
    cv::Mat img = working_row({{0.25f, 0.5f, 1.0f}, {1.7f, -0.2f, std::numeric_limits<float>::quiet_NaN()}});
    pl.apply_tone_curves(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 0.321875f, 0.5f, 0.8f, kTol);
    // Above 1 reads the last entry, below 0 and NaN the first.
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.8f, 0.2f, 0.2f, kTol);

    // The red curve reads the master's output: red(master(x)), the others master(x).
    p.curves[1].points = {{0.0f, 0.0f}, {0.5f, 0.6f}, {1.0f, 1.0f}};
    cv::Mat probe = grey_row({0.25f});
    pl.apply_tone_curves(probe, p);
    EXPECT_RGB_NEAR(rgb_at(probe, 0), 0.376503f, 0.321875f, 0.321875f, kTol);
}

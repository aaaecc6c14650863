#include "hash/phash.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

using vornalix::perceptual_hash;

TEST(PerceptualHash, UniformImages) {
    EXPECT_EQ(perceptual_hash(cv::Mat(40, 60, CV_8UC1, cv::Scalar(0))), 0u);
    for (int level : {1, 128, 255}) {
        const uint64_t hash = perceptual_hash(cv::Mat(40, 60, CV_8UC1, cv::Scalar(level)));
        EXPECT_TRUE(hash >> 63) << level;
    }
}

// A 32 x 32 picture built from chosen low-frequency coefficients: the bit of
// row r, column c must be 63 - (8 r + c), set exactly for the coefficients
// above the median of the 63 non-DC ones.
TEST(PerceptualHash, BitLayoutFollowsTheCoefficients) {
    std::vector<int> ranks(63);
    std::iota(ranks.begin(), ranks.end(), 0);
    std::shuffle(ranks.begin(), ranks.end(), std::mt19937(7));

    cv::Mat spectrum(32, 32, CV_32F, cv::Scalar(0));
    spectrum.at<float>(0, 0) = 128.0f * 32;  // mean grey 128
    uint64_t expected = 1ull << 63;
    for (int i = 1; i < 64; ++i) {
        const int rank = ranks[i - 1];
        spectrum.at<float>(i / 8, i % 8) = 3.0f * static_cast<float>(rank - 31);
        if (rank > 31) expected |= 1ull << (63 - i);
    }
    cv::Mat pixels;
    cv::idct(spectrum, pixels);
    double lo = 0, hi = 0;
    cv::minMaxLoc(pixels, &lo, &hi);
    ASSERT_GT(lo, 0.0);
    ASSERT_LT(hi, 255.0);
    cv::Mat grey;
    pixels.convertTo(grey, CV_8U);
    EXPECT_EQ(perceptual_hash(grey), expected);
}

#pragma once
// Bilinear resampling of float R, G, B, A images with mirrored edges, four
// channels at once. Sample positions are fixed point (1/32 pixel) and the
// weights, sums and edge rule are OpenCV's for INTER_LINEAR with
// BORDER_REFLECT, so a warp here gives the pixels cv::remap, cv::warpAffine
// and cv::warpPerspective give, bit for bit, at a fraction of their cost.

#include <opencv2/core.hpp>

#include <functional>

namespace vornalix::warp {

// Fixed-point positions carry this many fraction bits.
constexpr int kFractionBits = 5;
constexpr int kSteps = 1 << kFractionBits;

// Pixels per call of a RowPositions: at most this many.
constexpr int kMaxRun = 64;

// Fills xs[i], ys[i] (fixed point) with where output pixel (x0 + i, y) samples.
using RowPositions = std::function<void(int y, int x0, int* xs, int* ys, int n)>;

// Whether `image` takes the fast path (otherwise the caller uses OpenCV).
bool handles(const cv::Mat& image, int interpolation, int border);

// `out` (the size of `image`) sampled from `image` where `positions` say,
// in parallel bands of rows; only `region` of it when one is given.
void resample(const cv::Mat& image, cv::Mat& out, const RowPositions& positions, cv::Rect region = {});

// The positions cv::warpAffine and cv::warpPerspective derive from a forward
// matrix (2 x 3 or 3 x 3, double) for an output of `size`.
RowPositions affine(const cv::Mat& forward, cv::Size size);
RowPositions perspective(const cv::Mat& forward, cv::Size size);

// `image` (any type) warped by a forward affine (2 x 3) or perspective
// (3 x 3) matrix into `out` of the same size, bilinear with mirrored edges.
// Only `region` needs filling; other types fill the whole.
void warp_by_matrix(const cv::Mat& image, cv::Mat& out, const cv::Mat& forward, cv::Rect region = {});

// Rounds float coordinates to fixed point as cv::remap does.
void to_fixed_point(const float* xs, const float* ys, int* fx, int* fy, int n);

}  // namespace vornalix::warp

#include "pipeline/geometry_warp.h"

#include "image/image_memory.h"
#include "pipeline/lanes.h"
#include "pipeline/row_pass.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <vector>

namespace vornalix::warp {

namespace {

constexpr int kFractionMask = kSteps - 1;

// The four weights of every (y, x) fraction pair, products of the
// one-dimensional (1 - f, f) in single precision, as OpenCV tabulates them.
using Weights = std::array<std::array<float, 4>, kSteps * kSteps>;
const Weights& weights() {
    static const Weights table = [] {
        Weights t{};
        for (int i = 0; i < kSteps; ++i)
            for (int j = 0; j < kSteps; ++j) {
                const float fy = i * (1.0f / kSteps), fx = j * (1.0f / kSteps);
                const float vy[2] = {1.0f - fy, fy}, vx[2] = {1.0f - fx, fx};
                for (int k = 0; k < 4; ++k) t[i * kSteps + j][k] = vy[k / 2] * vx[k % 2];
            }
        return t;
    }();
    return table;
}

// cv::borderInterpolate for BORDER_REFLECT, without its checks.
int reflect(int p, int len) {
    if (len == 1) return 0;
    do p = p < 0 ? -p - 1 : 2 * len - 1 - p;
    while (static_cast<unsigned>(p) >= static_cast<unsigned>(len));
    return p;
}

// Whole-pixel part of a fixed-point position, saturated as OpenCV keeps it (16 bits).
int whole(int v) { return std::clamp(v >> kFractionBits, SHRT_MIN, SHRT_MAX); }

// One output row: the four neighbours weighted and summed in OpenCV's order.
void sample_row(const cv::Mat& image, const int* xs, const int* ys, cv::Vec4f* out, int n) {
    using lanes::V;
    const Weights& table = weights();
    const unsigned last_x = std::max(image.cols - 1, 0), last_y = std::max(image.rows - 1, 0);
    const size_t step = image.step1();
    const float* base = image.ptr<float>();
    // Source rows come in from memory as the samples slant across them:
    // ask for both rows a sample some way ahead reads (a cache line holds
    // four pixels).
    constexpr int kAhead = 32;
    for (int i = 0; i < n; ++i) {
        if (i % 4 == 0 && i + kAhead < n) {
            const int ax = whole(xs[i + kAhead]), ay = whole(ys[i + kAhead]);
            if (static_cast<unsigned>(ax) < last_x && static_cast<unsigned>(ay) < last_y) {
                __builtin_prefetch(base + ay * step + ax * 4);
                __builtin_prefetch(base + (ay + 1) * step + ax * 4);
            }
        }
        const int sx = whole(xs[i]), sy = whole(ys[i]);
        const float* w = table[(ys[i] & kFractionMask) * kSteps + (xs[i] & kFractionMask)].data();
        const float *p0, *p1, *p2, *p3;
        if (static_cast<unsigned>(sx) < last_x && static_cast<unsigned>(sy) < last_y) {
            p0 = base + sy * step + sx * 4;
            p1 = p0 + 4;
            p2 = p0 + step;
            p3 = p2 + 4;
        } else {
            const int x0 = reflect(sx, image.cols), x1 = reflect(sx + 1, image.cols);
            const float* r0 = base + reflect(sy, image.rows) * step;
            const float* r1 = base + reflect(sy + 1, image.rows) * step;
            p0 = r0 + x0 * 4;
            p1 = r0 + x1 * 4;
            p2 = r1 + x0 * 4;
            p3 = r1 + x1 * 4;
        }
        const V wv = cv::v_load(w);
        const V sum = cv::v_load(p0) * cv::v_broadcast_element<0>(wv) +
                      cv::v_load(p1) * cv::v_broadcast_element<1>(wv) +
                      cv::v_load(p2) * cv::v_broadcast_element<2>(wv) + cv::v_load(p3) * cv::v_broadcast_element<3>(wv);
        cv::v_store(out[i].val, sum);
    }
}

// cv::saturate_cast<int> of a double: rounded to nearest, ties to even.
int rounded(double v) { return cvRound(v); }

}  // namespace

bool handles(const cv::Mat& image, int interpolation, int border) {
    // Sizes beyond 16-bit positions are left to OpenCV.
    return image.type() == CV_32FC4 && interpolation == cv::INTER_LINEAR && border == cv::BORDER_REFLECT &&
           image.cols < SHRT_MAX && image.rows < SHRT_MAX;
}

void resample(const cv::Mat& image, cv::Mat& out, const RowPositions& positions, cv::Rect region) {
    CV_Assert(image.type() == CV_32FC4 && image.data != out.data);
    create_image(out, image.size(), image.type());
    if (region.empty()) region = cv::Rect(cv::Point(), image.size());
    // Tiles a few rows high: a turned or bent row reads a slanted strip of
    // the source, which the next rows of the tile read again from cache.
    constexpr int kTileRows = 16, kTileColumns = kMaxRun;
    for_each_band(region.height, [&](const cv::Range& band) {
        int xs[kTileColumns], ys[kTileColumns];
        for (int top = region.y + band.start; top < region.y + band.end; top += kTileRows)
            for (int x0 = region.x; x0 < region.br().x; x0 += kTileColumns) {
                const int n = std::min(kTileColumns, region.br().x - x0);
                for (int y = top; y < std::min(top + kTileRows, region.y + band.end); ++y) {
                    positions(y, x0, xs, ys, n);
                    sample_row(image, xs, ys, out.ptr<cv::Vec4f>(y) + x0, n);
                }
            }
    });
}

RowPositions affine(const cv::Mat& forward, cv::Size size) {
    // The inverse as cv::warpAffine forms it, then its fixed-point steps:
    // a row's start and a column's offset, each rounded at 1/1024 pixel.
    constexpr int kBits = 10, kScale = 1 << kBits, kHalfStep = kScale / kSteps / 2;
    cv::Matx23d m;
    forward.convertTo(cv::Mat(2, 3, CV_64F, m.val), CV_64F);
    double* M = m.val;
    double d = M[0] * M[4] - M[1] * M[3];
    d = d != 0 ? 1.0 / d : 0;
    const double a11 = M[4] * d, a22 = M[0] * d;
    M[0] = a11;
    M[1] *= -d;
    M[3] *= -d;
    M[4] = a22;
    const double b1 = -M[0] * M[2] - M[1] * M[5], b2 = -M[3] * M[2] - M[4] * M[5];
    M[2] = b1;
    M[5] = b2;
    auto steps = std::make_shared<std::vector<cv::Point>>(size.width);
    for (int x = 0; x < size.width; ++x) (*steps)[x] = {rounded(M[0] * x * kScale), rounded(M[3] * x * kScale)};
    return [m, steps](int y, int x0, int* xs, int* ys, int n) {
        const double* M = m.val;
        const int row_x = rounded((M[1] * y + M[2]) * kScale) + kHalfStep;
        const int row_y = rounded((M[4] * y + M[5]) * kScale) + kHalfStep;
        const cv::Point* step = steps->data() + x0;
        for (int i = 0; i < n; ++i) {
            xs[i] = (row_x + step[i].x) >> (kBits - kFractionBits);
            ys[i] = (row_y + step[i].y) >> (kBits - kFractionBits);
        }
    };
}

RowPositions perspective(const cv::Mat& forward, cv::Size size) {
    cv::Matx33d m;
    cv::invert(forward, cv::Mat(3, 3, CV_64F, m.val));
    // cv::warpPerspective works in blocks of 1024 pixels, 16 rows high (or
    // the image's height) and starts each block's sums afresh: the same sums
    // give the same roundings.
    constexpr int kBlockPixels = 1024, kBlockRows = 16;
    const int block = std::min(kBlockPixels / std::max(std::min(kBlockRows, size.height), 1), size.width);
    using Lanes = cv::v_float64x2;
    auto all = [](double v) { return cv::v_setall_f64(v); };
    auto reciprocal = [all](const Lanes& w) { return cv::v_select(w != all(0), all(kSteps) / w, all(0)); };
    auto bounded = [all](const Lanes& v) { return cv::v_max(all(INT_MIN), cv::v_min(all(INT_MAX), v)); };
    return [=](int y, int x0, int* xs, int* ys, int n) {
        const double* M = m.val;
        auto fixed = [](double v) { return rounded(std::max<double>(INT_MIN, std::min<double>(INT_MAX, v))); };
        for (int x = x0; x < x0 + n;) {
            const int start = x / block * block, end = std::min(start + block, x0 + n);
            const double bx = M[0] * start + M[1] * y + M[2];
            const double by = M[3] * start + M[4] * y + M[5];
            const double bw = M[6] * start + M[7] * y + M[8];
            // Four at a time in double lanes, the same operations in the same order.
            for (; x + 4 <= end; x += 4) {
                const int i = x - start;
                const Lanes i0(i, i + 1), i1(i + 2, i + 3);
                const Lanes w0 = reciprocal(all(bw) + all(M[6]) * i0), w1 = reciprocal(all(bw) + all(M[6]) * i1);
                auto along = [&](double b, double m) {
                    return cv::v_round(bounded((all(b) + all(m) * i0) * w0), bounded((all(b) + all(m) * i1) * w1));
                };
                cv::v_store(xs + x - x0, along(bx, M[0]));
                cv::v_store(ys + x - x0, along(by, M[3]));
            }
            for (; x < end; ++x) {
                const int i = x - start;
                double w = bw + M[6] * i;
                w = w != 0 ? kSteps / w : 0;
                xs[x - x0] = fixed((bx + M[0] * i) * w);
                ys[x - x0] = fixed((by + M[3] * i) * w);
            }
        }
    };
}

void warp_by_matrix(const cv::Mat& image, cv::Mat& out, const cv::Mat& forward, cv::Rect region) {
    const bool affine_matrix = forward.rows == 2;
    create_image(out, image.size(), image.type());
    if (handles(image, cv::INTER_LINEAR, cv::BORDER_REFLECT))
        resample(image, out, affine_matrix ? affine(forward, image.size()) : perspective(forward, image.size()),
                 region);
    else if (affine_matrix)
        cv::warpAffine(image, out, forward, image.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar());
    else
        cv::warpPerspective(image, out, forward, image.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar());
}

void to_fixed_point(const float* xs, const float* ys, int* fx, int* fy, int n) {
    for (int i = 0; i < n; ++i) {
        fx[i] = cvRound(xs[i] * kSteps);
        fy[i] = cvRound(ys[i] * kSteps);
    }
}

}  // namespace vornalix::warp

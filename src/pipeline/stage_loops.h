#pragma once
// The ways a stage walks the working image (four float channels R, G, B, A):
// pixel by pixel in place, plane by plane through split and merge, or as a
// row kernel that joins a render's pass.

#include "image/image_memory.h"
#include "pipeline/lanes.h"
#include "pipeline/row_pass.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <vector>

namespace vornalix {

// Calls fn(r, g, b) with references to the colour channels of every pixel;
// alpha is never touched. Does nothing for an image without rows or columns.
template <typename Fn>
void for_each_rgb(cv::Mat& working, Fn&& fn) {
    if (working.rows == 0 || working.cols == 0) return;
    CV_Assert(working.type() == CV_32FC4);
    for (int y = 0; y < working.rows; ++y) {
        auto* px = working.ptr<cv::Vec4f>(y);
        for (int x = 0; x < working.cols; ++x) fn(px[x][0], px[x][1], px[x][2]);
    }
}

// Splits the image, calls fn(plane) on planes 0, 1 and 2 in turn and merges
// all four planes back.
template <typename Fn>
void for_each_colour_plane(cv::Mat& working, Fn&& fn) {
    if (working.empty()) return;
    CV_Assert(working.type() == CV_32FC4);
    std::vector<cv::Mat> planes;
    cv::split(working, planes);
    for (int c = 0; c < 3; ++c) fn(planes[c]);
    cv::merge(planes, working);
}

// A row kernel calling fn(r, g, b) with references to the colour channels of
// every pixel of the row; alpha is never touched.
template <typename Fn>
RowKernel rgb_kernel(Fn fn) {
    return [fn](int, cv::Vec4f* px, int n) {
        for (int x = 0; x < n; ++x) fn(px[x][0], px[x][1], px[x][2]);
    };
}

// A row kernel for a formula that also reads the pixel's place: row(y)
// gives the function f(x, v) -> v for the pixels of row y, each pixel one
// four-lane vector; the alpha lane is put back as it was.
template <typename Row>
RowKernel pixel_kernel_by_row(Row row) {
    return [row](int y, cv::Vec4f* px, int n) {
        const auto fn = row(y);
        const lanes::V colour = lanes::colour_mask();
        for (int x = 0; x < n; ++x) {
            float* p = px[x].val;
            const lanes::V v = cv::v_load(p);
            cv::v_store(p, cv::v_select(colour, fn(x, v), v));
        }
    };
}

// A row kernel applying fn(v) -> v to every pixel as one four-lane vector;
// the alpha lane is put back as it was.
template <typename Fn>
RowKernel pixel_kernel(Fn fn) {
    return pixel_kernel_by_row([fn](int) { return [fn](int, const lanes::V& v) { return fn(v); }; });
}

// Hands fn(x, r, g, b) the n pixels of a row four at a time as planes (from
// pixel x on): each lane is one pixel, so arithmetic across channels (a
// luminance) stays a plain sum per lane. The last pixels of a row that do not
// fill four lanes come padded with zeros. Where fn returns true the planes
// are stored back; alpha is left as it is.
template <typename Fn>
void for_each_four_pixels(cv::Vec4f* px, int n, Fn&& fn) {
    auto four = [&fn](int x, float* p) {
        lanes::V r, g, b, a;
        cv::v_load_deinterleave(p, r, g, b, a);
        if (!fn(x, r, g, b)) return false;
        cv::v_store_interleave(p, r, g, b, a);
        return true;
    };
    int x = 0;
    for (; x + 4 <= n; x += 4) four(x, px[x].val);
    if (x < n) {
        cv::Vec4f tail[4] = {};
        std::copy(px + x, px + n, tail);
        if (four(x, tail[0].val)) std::copy(tail, tail + (n - x), px + x);
    }
}

// A row kernel handing fn(r, g, b) four pixels at a time as planes, as
// for_each_four_pixels does.
template <typename Fn>
RowKernel planar_kernel(Fn fn) {
    return [fn](int, cv::Vec4f* px, int n) {
        for_each_four_pixels(px, n, [&](int, lanes::V& r, lanes::V& g, lanes::V& b) {
            fn(r, g, b);
            return true;
        });
    };
}

// As planar_kernel, for a formula whose four-lane form covers the ordinary
// pixels only: where four(r, g, b) returns false (leaving the planes as they
// were), the four pixels go one by one through one(r, g, b), as do the last
// pixels of a row that do not fill four lanes.
template <typename Four, typename One>
RowKernel planar_kernel(Four four, One one) {
    return [four, one](int, cv::Vec4f* px, int n) {
        int x = 0;
        for (; x + 4 <= n; x += 4) {
            lanes::V r, g, b, a;
            cv::v_load_deinterleave(px[x].val, r, g, b, a);
            if (four(r, g, b)) {
                cv::v_store_interleave(px[x].val, r, g, b, a);
                continue;
            }
            for (int i = x; i < x + 4; ++i) one(px[i][0], px[i][1], px[i][2]);
        }
        for (; x < n; ++x) one(px[x][0], px[x][1], px[x][2]);
    };
}

// out[x] = fn(r, g, b) of the n pixels of a row; fn is written once for one
// float and for four lanes.
template <typename Fn>
void colour_row_to_plane(const cv::Vec4f* px, int n, float* out, Fn fn) {
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        lanes::V r, g, b, a;
        cv::v_load_deinterleave(px[x].val, r, g, b, a);
        cv::v_store(out + x, fn(r, g, b));
    }
    for (; x < n; ++x) out[x] = fn(px[x][0], px[x][1], px[x][2]);
}

// Runs the pass's pending kernels and, in the same pass, writes fn(r, g, b)
// of their result into `plane`: the image is read once for both. `plane`
// must be one no pending kernel reads. Returns the image.
template <typename Fn>
cv::Mat& plane_after(RowPass& pass, cv::Mat& plane, Fn fn) {
    create_image(plane, pass.size(), CV_32F);
    pass.add([rows = plane.ptr<float>(0), step = plane.step1(), fn](int y, cv::Vec4f* px, int n) {
        colour_row_to_plane(px, n, rows + y * step, fn);
    });
    return pass.image();
}

// A row kernel handing fn(values) the row's colour values (R, G, B of every
// pixel, alpha left out) as one single-row float matrix, for OpenCV's own
// element-wise functions, and writing them back.
template <typename Fn>
RowKernel colour_values_kernel(Fn fn) {
    return [fn](int, cv::Vec4f* px, int n) {
        cv::Mat values(1, 3 * n, CV_32F);
        auto* v = values.ptr<float>(0);
        for (int x = 0; x < n; ++x)
            for (int c = 0; c < 3; ++c) v[3 * x + c] = px[x][c];
        fn(values);
        for (int x = 0; x < n; ++x)
            for (int c = 0; c < 3; ++c) px[x][c] = v[3 * x + c];
    };
}

}  // namespace vornalix

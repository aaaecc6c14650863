#include "image/area_resize.h"

#include "image/image_memory.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace vornalix {

namespace {

// One source sample's share of one output sample, in pixels.
struct Share {
    int source;
    int target;
    float weight;
};

// The shares of a side of `source` pixels reduced to `target` pixels, each
// `scale` source pixels wide, with OpenCV's arithmetic: whole source pixels
// weigh 1/width, the partial ones at either end their covered fraction.
std::vector<Share> shares(int source, int target, double scale) {
    std::vector<Share> out;
    out.reserve(size_t(source) * 2);
    constexpr double kSliver = 1e-3;  // parts narrower than this are dropped
    for (int t = 0; t < target; ++t) {
        const double start = t * scale, end = start + scale;
        const double width = std::min(scale, source - start);
        int first = cvCeil(start), last = cvFloor(end);
        last = std::min(last, source - 1);
        first = std::min(first, last);
        if (first - start > kSliver) out.push_back({first - 1, t, static_cast<float>((first - start) / width)});
        for (int s = first; s < last; ++s) out.push_back({s, t, static_cast<float>(1.0 / width)});
        if (end - last > kSliver)
            out.push_back({last, t, static_cast<float>(std::min(std::min(end - last, 1.0), width) / width)});
    }
    return out;
}

using cv::v_float32x4;

v_float32x4 load_pixel(const ushort* p) { return cv::v_cvt_f32(cv::v_reinterpret_as_s32(cv::v_load_expand(p))); }

// One source row summed into output columns: each channel adds its sample
// times the weight, in the order of the shares, as OpenCV adds them.
void sum_row(const ushort* row, const std::vector<Share>& columns, float* out, int width) {
    std::fill(out, out + size_t(width) * 4, 0.0f);
    for (const Share& s : columns) {
        float* o = out + size_t(s.target) * 4;
        cv::v_store(o, cv::v_load(o) + load_pixel(row + size_t(s.source) * 4) * cv::v_setall_f32(s.weight));
    }
}

// Output rows [first, last): the source rows' sums weighted and added up,
// rounded to 16 bits. `starts[y]` is the first row share of output row y.
void reduce_rows(const cv::Mat& src, cv::Mat& dst, const std::vector<Share>& columns,
                 const std::vector<Share>& rows, const std::vector<int>& starts, int first, int last) {
    const int width = dst.cols, samples = width * 4;
    std::vector<float> row_sum(samples), total(samples, 0.0f);
    int summed = -1, current = rows[starts[first]].target;
    const auto write = [&](int y) {
        ushort* d = dst.ptr<ushort>(y);
        for (int i = 0; i < samples; i += 4) cv::v_pack_u_store(d + i, cv::v_round(cv::v_load(&total[i])));
    };
    for (int j = starts[first]; j < starts[last]; ++j) {
        const Share& r = rows[j];
        // A source row shared by two output rows sums to the same values twice.
        if (r.source != summed) sum_row(src.ptr<ushort>(r.source), columns, row_sum.data(), width);
        summed = r.source;
        const v_float32x4 beta = cv::v_setall_f32(r.weight);
        if (r.target != current) {
            write(current);
            for (int i = 0; i < samples; i += 4) cv::v_store(&total[i], beta * cv::v_load(&row_sum[i]));
            current = r.target;
        } else {
            for (int i = 0; i < samples; i += 4)
                cv::v_store(&total[i], cv::v_load(&total[i]) + beta * cv::v_load(&row_sum[i]));
        }
    }
    write(current);
}

}  // namespace

void resize_area(const cv::Mat& src, cv::Mat& dst, cv::Size dsize, double fx, double fy) {
    // The size and factors as cv::resize derives them.
    if (dsize.empty()) {
        dsize = cv::Size(cv::saturate_cast<int>(src.cols * fx), cv::saturate_cast<int>(src.rows * fy));
    } else {
        fx = double(dsize.width) / src.cols;
        fy = double(dsize.height) / src.rows;
    }
    const double scale_x = 1.0 / fx, scale_y = 1.0 / fy;
    const bool whole_factors = std::abs(scale_x - cv::saturate_cast<int>(scale_x)) < DBL_EPSILON &&
                               std::abs(scale_y - cv::saturate_cast<int>(scale_y)) < DBL_EPSILON;
    // OpenCV's own path serves every other case: other types, whole
    // factors (its fast path), enlarging and the same size.
    if (src.type() != CV_16UC4 || dsize.empty() || whole_factors || scale_x < 1 || scale_y < 1 ||
        dsize == src.size() || src.data == dst.data) {
        cv::resize(src, dst, dsize, fx, fy, cv::INTER_AREA);
        return;
    }
    create_image(dst, dsize, CV_16UC4);
    const std::vector<Share> columns = shares(src.cols, dsize.width, scale_x);
    const std::vector<Share> rows = shares(src.rows, dsize.height, scale_y);
    std::vector<int> starts(dsize.height + 1);
    for (size_t k = 0; k < rows.size(); ++k)
        if (k == 0 || rows[k].target != rows[k - 1].target) starts[rows[k].target] = static_cast<int>(k);
    starts[dsize.height] = static_cast<int>(rows.size());
    cv::parallel_for_(cv::Range(0, dsize.height), [&](const cv::Range& band) {
        reduce_rows(src, dst, columns, rows, starts, band.start, band.end);
    });
}

}  // namespace vornalix

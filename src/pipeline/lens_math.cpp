#include "pipeline/lens_math.h"

#include "image/image_memory.h"
#include "pipeline/geometry_warp.h"
#include "pipeline/lanes.h"
#include "pipeline/row_pass.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <type_traits>

namespace vornalix::stage_math {

namespace {

// Reflecting borders repeat with a fixed period, so a sample coordinate far
// outside the image can be moved by whole periods without changing what it
// reads. This keeps OpenCV's fixed-point conversion and border loop on small
// numbers; coordinates within one image size of the frame are left exact.
float fold_coordinate(float v, int len, int border) {
    if (v >= -len && v <= 2.0f * len) return v;
    if (std::isnan(v)) return 0.0f;
    const double bounded = std::min(std::max(static_cast<double>(v), -1e9), 1e9);
    int period = 0;
    if (border == cv::BORDER_REFLECT) period = 2 * len;
    if (border == cv::BORDER_REFLECT_101) period = 2 * (len - 1);
    if (period <= 0) return bounded < 0 ? -1.0f : static_cast<float>(len);
    return static_cast<float>(bounded - period * std::floor(bounded / period));
}

// Rows per band of a remap: the maps of a band are a few rows, not an image.
constexpr int kMapBandRows = 32;

// Where pixels x0 .. x0 + n - 1 of row y sample the source: radius r goes to
// r * (1 + k r^2) about (cx, cy), folded where far outside the frame.
struct RadialMap {
    float cx, cy, radius, k;
    int cols, rows, border;

    void row(int y, int x0, int n, float* mx, float* my) const {
        const float ny = (y - cy) / radius;
        const float ny2 = ny * ny;
        // The coordinates of pixel x, written once for one float and four lanes.
        auto sampled = [&](auto x, auto& sx, auto& sy) {
            using T = std::decay_t<decltype(x)>;
            const T nx = (x - lanes::all<T>(cx)) / lanes::all<T>(radius);
            const T f = lanes::all<T>(1.0f) + lanes::all<T>(k) * (nx * nx + lanes::all<T>(ny2));
            sx = lanes::all<T>(cx) + lanes::all<T>(radius) * nx * f;
            sy = lanes::all<T>(cy) + lanes::all<T>(radius * ny) * f;
        };
        auto inside = [](const lanes::V& v, int len) {
            return cv::v_check_all((v >= lanes::all(-len)) & (v <= lanes::all(2.0f * len)));
        };
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            const float x = static_cast<float>(x0 + i);
            lanes::V sx, sy;
            sampled(lanes::V(x, x + 1, x + 2, x + 3), sx, sy);
            // Folding changes nothing within an image size of the frame.
            if (!inside(sx, cols) || !inside(sy, rows)) break;
            cv::v_store(mx + i, sx);
            cv::v_store(my + i, sy);
        }
        for (; i < n; ++i) {
            float sx, sy;
            sampled(static_cast<float>(x0 + i), sx, sy);
            mx[i] = fold_coordinate(sx, cols, border);
            my[i] = fold_coordinate(sy, rows, border);
        }
    }
};

}  // namespace

void radial_distortion(const cv::Mat& image, cv::Mat& out, float k, int interpolation, int border) {
    const float cx = image.cols / 2.0f;
    const float cy = image.rows / 2.0f;
    const RadialMap map{cx, cy, std::max(cx, cy), k, image.cols, image.rows, border};
    if (warp::handles(image, interpolation, border)) {
        warp::resample(image, out, [&map](int y, int x0, int* xs, int* ys, int n) {
            float mx[warp::kMaxRun], my[warp::kMaxRun];
            map.row(y, x0, n, mx, my);
            warp::to_fixed_point(mx, my, xs, ys, n);
        });
        return;
    }
    create_image(out, image.size(), image.type());
    // Each band builds the coordinate maps of its own rows and remaps them,
    // so no whole-image maps are held.
    for_each_band(image.rows, [&](const cv::Range& band) {
        cv::Mat map_x(band.size(), image.cols, CV_32F), map_y(band.size(), image.cols, CV_32F);
        for (int y = band.start; y < band.end; ++y)
            map.row(y, 0, image.cols, map_x.ptr<float>(y - band.start), map_y.ptr<float>(y - band.start));
        cv::Mat rows = out.rowRange(band);
        cv::remap(image, rows, map_x, map_y, interpolation, border, cv::Scalar());
    }, (image.rows + kMapBandRows - 1) / kMapBandRows);
}

void radial_distortion(cv::Mat& image, float k, int interpolation, int border) {
    cv::Mat out;
    radial_distortion(image, out, k, interpolation, border);
    image = out;
}

FitSpan fit_span(int have, int want) {
    FitSpan s;
    if (have >= want) {
        s.from = (have - want) / 2;
        s.length = want;
    } else {
        s.to = (want - have) / 2;
        s.length = have;
    }
    return s;
}

void fit_channel_to_size(cv::Mat& plane, cv::Size target) {
    if (plane.size() == target) return;
    const FitSpan sx = fit_span(plane.cols, target.width);
    const FitSpan sy = fit_span(plane.rows, target.height);
    if (sx.to == 0 && sy.to == 0 && sx.length == target.width && sy.length == target.height) {
        plane = plane(cv::Rect(sx.from, sy.from, sx.length, sy.length));  // a crop alone needs no copy
        return;
    }
    cv::Mat fitted = cv::Mat::zeros(target, plane.type());
    if (sx.length > 0 && sy.length > 0)
        plane(cv::Rect(sx.from, sy.from, sx.length, sy.length))
            .copyTo(fitted(cv::Rect(sx.to, sy.to, sx.length, sy.length)));
    plane = fitted;
}

}  // namespace vornalix::stage_math

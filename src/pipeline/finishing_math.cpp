#include "pipeline/finishing_math.h"

#include "image/image_memory.h"

#include "pipeline/lanes.h"
#include "pipeline/row_pass.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vornalix::stage_math {

namespace {

// Vignette weight of one pixel from its offsets dx, dy (in half sizes), as
// vignette() describes; written once for a scalar and a four-lane type.
template <class T>
T vignette_weight(T dx, T dy, T ady, float mid, float den, float ellipse_weight, float strength) {
    using namespace lanes;
    const T d = sqrt_of(dx * dx + dy * dy);
    const T m = max_of(abs_of(dx), ady);
    const T r = m + all<T>(ellipse_weight) * (d - m);
    const T t = clamp01((r - all<T>(mid)) / all<T>(den));
    return t * t * (all<T>(3.0f) - all<T>(2.0f) * t) * all<T>(strength);
}

}  // namespace

void vignette_row(cv::Size image, int y, cv::Vec4f* px, float amount, float mid, float den, float ellipse_weight) {
    const float strength = std::fabs(amount);
    const float cx = image.width / 2.0f;
    const float cy = image.height / 2.0f;
    const float dy = (y - cy) / cy;
    const float ady = std::fabs(dy);
    cv::AutoBuffer<float, 4096> weights(image.width);
    float* w = weights.data();
    lanes::even_about_centre(image.width, w, [&](auto x) {
        using T = decltype(x);
        return vignette_weight<T>(x / lanes::all<T>(cx), lanes::all<T>(dy), lanes::all<T>(ady), mid, den,
                                  ellipse_weight, strength);
    });
    const lanes::V colour = lanes::colour_mask(), one = lanes::all(1.0f);
    for (int x = 0; x < image.width; ++x) {
        const lanes::V v = cv::v_load(px[x].val);
        const lanes::V wx = lanes::all(w[x]);
        const lanes::V out = amount > 0.0f ? v * (one - wx) : v + (one - v) * wx;
        cv::v_store(px[x].val, cv::v_select(colour, lanes::clamp01(out), v));
    }
}

void vignette(cv::Mat& image, float amount, float mid, float den, float ellipse_weight) {
    for (int y = 0; y < image.rows; ++y)
        vignette_row(image.size(), y, image.ptr<cv::Vec4f>(y), amount, mid, den, ellipse_weight);
}

namespace {

// Population deviation of a plane, its sums taken in parallel bands.
double deviation_of(const cv::Mat& plane) {
    double sum = 0.0, squares = 0.0;
    for_each_band_merged(plane.rows, [&](const cv::Range& band) {
        cv::Vec2d own;  // sum and sum of squares
        for (int y = band.start; y < band.end; ++y)
            for (const float* v = plane.ptr<float>(y); v != plane.ptr<float>(y) + plane.cols; ++v) {
                own[0] += *v;
                own[1] += static_cast<double>(*v) * *v;
            }
        return own;
    }, [&](const cv::Vec2d& own) {
        sum += own[0];
        squares += own[1];
    });
    const double mean = sum / static_cast<double>(plane.total());
    return std::sqrt(std::max(squares / static_cast<double>(plane.total()) - mean * mean, 0.0));
}

}  // namespace

void grain_field(cv::Mat& field, cv::Size size, double sigma, double blur_sigma, double min_deviation) {
    create_image(field, size, CV_32F);
    // Straight from the calling thread's default generator, so a host that
    // seeds it gets the same pattern as it always has.
    cv::randn(field, 0.0, sigma);
    if (blur_sigma > 0.0) {
        // In place, which keeps no second field.
        cv::GaussianBlur(field, field, cv::Size(), blur_sigma, 0.0, cv::BORDER_REFLECT_101);
        const double deviation = deviation_of(field);
        if (deviation > min_deviation)
            for_each_band(field.rows, [&](const cv::Range& band) {
                cv::Mat rows = field.rowRange(band);
                rows.convertTo(rows, CV_32F, sigma / deviation);
            });
    }
}

}  // namespace vornalix::stage_math

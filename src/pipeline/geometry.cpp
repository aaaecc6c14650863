// Geometry: flips, free rotation, a two-axis keystone and the crop. Only the
// crop changes the frame size.

#include "pipeline/pipeline.h"

#include "image/image_memory.h"
#include "pipeline/geometry_math.h"
#include "pipeline/plane_math.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace vornalix {

namespace {

// Warps write into `spare`, which then trades places with the working image,
// so both keep their memory for the next render.
void rotate(cv::Mat& working, cv::Mat& spare, float degrees) {
    const cv::Point2f centre(working.cols * 0.5f, working.rows * 0.5f);
    const cv::Mat m = cv::getRotationMatrix2D(centre, degrees, 1.0);
    create_image(spare, working.size(), working.type());
    cv::warpAffine(working, spare, m, working.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar());
    cv::swap(working, spare);
}

void correct_perspective(cv::Mat& working, cv::Mat& spare, float horizontal, float vertical) {
    constexpr float kInsetPer100 = 0.15f;
    const float a = horizontal / 100.0f * kInsetPer100;
    const float b = vertical / 100.0f * kInsetPer100;
    const cv::Mat m = stage_math::perspective_matrix(working.size(), a * working.cols, b * working.rows);
    create_image(spare, working.size(), working.type());
    cv::warpPerspective(working, spare, m, working.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT, cv::Scalar());
    cv::swap(working, spare);
}

bool wants_crop(const EditParams& p) {
    constexpr float kNearlyWhole = 0.99f;  // a crop from the origin covering this much is ignored
    if (!stage_math::all_finite({p.crop_x, p.crop_y, p.crop_w, p.crop_h})) return false;
    if (!(p.crop_w > 0.0f && p.crop_h > 0.0f)) return false;
    return p.crop_h < kNearlyWhole || p.crop_w < kNearlyWhole || p.crop_x != 0.0f || p.crop_y != 0.0f;
}

void crop(cv::Mat& working, const EditParams& p) {
    constexpr int kMinSide = 10;  // a crop must keep more than this many pixels each way
    const cv::Rect r = stage_math::crop_rectangle(working.size(), p.crop_x, p.crop_y, p.crop_w, p.crop_h);
    // A view into the same memory: the next render starts from the whole of it again.
    if (r.width > kMinSide && r.height > kMinSide) working = working(r);
}

}  // namespace

void Pipeline::apply_geometry(RowPass& pass, const EditParams& params) {
    if (pass.empty()) return;
    const bool rotates = params.rotation != 0.0f && std::isfinite(params.rotation);
    const bool keystones = (params.perspective_h != 0.0f || params.perspective_v != 0.0f) &&
                           stage_math::all_finite({params.perspective_h, params.perspective_v});
    if (params.flip_h == 0 && params.flip_v == 0 && !rotates && !keystones && !wants_crop(params)) return;

    cv::Mat& working = pass.image();
    if (params.flip_h != 0) cv::flip(working, working, 1);
    if (params.flip_v != 0) cv::flip(working, working, 0);
    if (rotates) rotate(working, scratch_.blurred, params.rotation);
    if (keystones) correct_perspective(working, scratch_.blurred, params.perspective_h, params.perspective_v);
    if (wants_crop(params)) crop(working, params);
}

}  // namespace vornalix

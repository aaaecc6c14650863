// Geometry: flips, free rotation, a two-axis keystone and the crop (only the
// crop changes the frame size), and the lens stage's resampling, shared with
// the subject mask.

#include "pipeline/geometry.h"

#include "pipeline/geometry_math.h"
#include "pipeline/geometry_warp.h"
#include "pipeline/lens_math.h"
#include "pipeline/pipeline.h"
#include "pipeline/plane_math.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace vornalix {

namespace {

// Warps write into `spare`, which then trades places with the image, so both
// keep their memory for the next render. Only `needed` must be filled.
void rotate(cv::Mat& image, cv::Mat& spare, float degrees, cv::Rect needed) {
    const cv::Point2f centre(image.cols * 0.5f, image.rows * 0.5f);
    warp::warp_by_matrix(image, spare, cv::getRotationMatrix2D(centre, degrees, 1.0), needed);
    cv::swap(image, spare);
}

void correct_perspective(cv::Mat& image, cv::Mat& spare, float horizontal, float vertical, cv::Rect needed) {
    constexpr float kInsetPer100 = 0.15f;
    const float a = horizontal / 100.0f * kInsetPer100;
    const float b = vertical / 100.0f * kInsetPer100;
    warp::warp_by_matrix(image, spare, stage_math::perspective_matrix(image.size(), a * image.cols, b * image.rows),
                         needed);
    cv::swap(image, spare);
}

bool rotates(const EditParams& p) { return p.rotation != 0.0f && std::isfinite(p.rotation); }

bool keystones(const EditParams& p) {
    return (p.perspective_h != 0.0f || p.perspective_v != 0.0f) &&
           stage_math::all_finite({p.perspective_h, p.perspective_v});
}

bool wants_crop(const EditParams& p) {
    constexpr float kNearlyWhole = 0.99f;  // a crop from the origin covering this much is ignored
    if (!stage_math::all_finite({p.crop_x, p.crop_y, p.crop_w, p.crop_h})) return false;
    if (!(p.crop_w > 0.0f && p.crop_h > 0.0f)) return false;
    return p.crop_h < kNearlyWhole || p.crop_w < kNearlyWhole || p.crop_x != 0.0f || p.crop_y != 0.0f;
}

// What the crop keeps of an image of `size`: all of it when there is no crop.
cv::Rect kept_by_crop(cv::Size size, const EditParams& p) {
    constexpr int kMinSide = 10;  // a crop must keep more than this many pixels each way
    const cv::Rect whole(cv::Point(), size);
    if (!wants_crop(p)) return whole;
    const cv::Rect r = stage_math::crop_rectangle(size, p.crop_x, p.crop_y, p.crop_w, p.crop_h);
    return r.width > kMinSide && r.height > kMinSide ? r : whole;
}

bool profiled(const lens::Profile& profile, const EditParams& p) { return p.lens_profile != 0 && profile.found(); }

bool distorts(const EditParams& p) { return p.distortion != 0.0f && std::isfinite(p.distortion); }

void correct_distortion(cv::Mat& image, cv::Mat& spare, float distortion) {
    constexpr float kStrengthPer100 = -0.5f;
    stage_math::radial_distortion(image, spare, distortion / 100.0f * kStrengthPer100,
                                  cv::INTER_LINEAR, cv::BORDER_REFLECT);
    cv::swap(image, spare);
}

// The profile resamples float R, G, B, A images, alpha following green: any
// other image rides along as that alpha, one channel at a time.
void apply_lens_profile(const lens::Profile& profile, cv::Mat& image, cv::Mat& spare) {
    if (image.type() == CV_32FC4) {
        lens::apply_profile(profile, image, spare);
        return;
    }
    cv::Mat carrier(image.size(), CV_32FC4, cv::Scalar::all(0)), plane;
    for (int c = 0; c < image.channels(); ++c) {
        cv::extractChannel(image, plane, c);
        plane.convertTo(plane, CV_32F);
        cv::insertChannel(plane, carrier, 3);
        lens::apply_profile(profile, carrier, spare);
        cv::extractChannel(carrier, plane, 3);
        plane.convertTo(plane, image.depth());
        cv::insertChannel(plane, image, c);
    }
}

}  // namespace

bool lens_moves_pixels(const lens::Profile& profile, const EditParams& params) {
    return profiled(profile, params) || distorts(params);
}

void move_like_lens(cv::Mat& image, cv::Mat& spare, const lens::Profile& profile, const EditParams& params) {
    if (profiled(profile, params)) apply_lens_profile(profile, image, spare);
    if (distorts(params)) correct_distortion(image, spare, params.distortion);
}

bool edits_geometry(const EditParams& params) {
    return params.flip_h != 0 || params.flip_v != 0 || rotates(params) || keystones(params) || wants_crop(params);
}

void apply_geometric_edits(cv::Mat& image, cv::Mat& spare, const EditParams& params) {
    if (params.flip_h != 0) cv::flip(image, image, 1);
    if (params.flip_v != 0) cv::flip(image, image, 0);
    // The warps keep the size, so the crop is known now: the last warp
    // fills only what it keeps.
    const cv::Rect whole(cv::Point(), image.size()), kept = kept_by_crop(image.size(), params);
    const bool keystone = keystones(params);
    if (rotates(params)) rotate(image, spare, params.rotation, keystone ? whole : kept);
    if (keystone) correct_perspective(image, spare, params.perspective_h, params.perspective_v, kept);
    // A view into the same memory: the next render starts from the whole of it again.
    if (kept != whole) image = image(kept);
}

void Pipeline::apply_geometry(RowPass& pass, const EditParams& params) {
    if (!pass.empty() && edits_geometry(params)) {
        // image() runs the pending kernels (the lens stage's may read the
        // spare) before a warp writes into it.
        cv::Mat& image = pass.image();
        apply_geometric_edits(image, scratch_.warp_spare(), params);
    }
    // The warps are done. The spare stays for the planes of the next render,
    // unless this one's result still needs memory: then it goes now, so
    // that no render holds both (the next maps it again and keeps it).
    if (result.mat.size() != pass.size() || result.mat.type() != CV_16UC4) scratch_.spare.release();
}

cv::Mat Pipeline::follow_render(const cv::Mat& plane) const {
    cv::Mat moved, spare;
    // A mask of another image is stretched over this one.
    if (plane.size() != source.mat.size())
        cv::resize(plane, moved, source.mat.size(), 0, 0, cv::INTER_LINEAR);
    else
        moved = plane.clone();
    if (lens_moves_pixels(lens_profile, rendered_)) move_like_lens(moved, spare, lens_profile, rendered_);
    if (edits_geometry(rendered_)) apply_geometric_edits(moved, spare, rendered_);
    return moved;
}

}  // namespace vornalix

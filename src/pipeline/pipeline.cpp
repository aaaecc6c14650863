#include "pipeline/pipeline.h"

#include <cmath>

namespace vornalix {

void Pipeline::process(const EditParams& params) {
    if (source.empty()) return;

    cv::Mat working;
    source.mat.convertTo(working, CV_32FC4, 1.0 / 65535.0);

    apply_white_balance(working, params);
    apply_exposure(working, params);
    apply_brightness(working, params);
    apply_highlights_shadows(working, params);
    apply_whites_blacks(working, params);
    if (params.contrast != 0.0f && working.rows > 0 && working.cols > 0)
        apply_contrast(working, params);
    apply_tone_curves(working, params);
    apply_clarity_texture(working, params);
    apply_dehaze(working, params);
    apply_saturation_vibrance(working, params);
    apply_hsl(working, params);
    apply_split_toning(working, params);
    apply_noise_reduction(working, params);
    apply_sharpening(working, params);
    apply_lens_corrections(working, params);
    apply_geometry(working, params);
    apply_vignette(working, params);
    apply_grain(working, params);

    cv::Mat out;
    working.convertTo(out, CV_16UC4, 65535.0);
    result.mat = out;
}

void Pipeline::apply_srgb_gamma(cv::Mat& image) {
    if (image.rows == 0 || image.cols == 0) return;
    constexpr float kLinearLimit = 0.0031308f;
    constexpr float kInverseGamma = 0.41666666f;
    for (int y = 0; y < image.rows; ++y) {
        auto* px = image.ptr<cv::Vec4f>(y);
        for (int x = 0; x < image.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                float v = px[x][c];
                px[x][c] = v <= kLinearLimit ? 12.92f * v : 1.055f * std::pow(v, kInverseGamma) - 0.055f;
            }
    }
}

}  // namespace vornalix

#include "pipeline/pipeline.h"

#include <cmath>

namespace vornalix {

void Pipeline::process(const EditParams& params) {
    if (source.empty()) return;
    static const Stage kStages[] = {
        &Pipeline::apply_white_balance,
        &Pipeline::apply_exposure,
        &Pipeline::apply_brightness,
        &Pipeline::apply_highlights_shadows,
        &Pipeline::apply_whites_blacks,
        &Pipeline::apply_contrast,
        &Pipeline::apply_tone_curves,
        &Pipeline::apply_clarity_texture,
        &Pipeline::apply_dehaze,
        &Pipeline::apply_saturation_vibrance,
        &Pipeline::apply_hsl,
        &Pipeline::apply_split_toning,
        &Pipeline::apply_noise_reduction,
        &Pipeline::apply_sharpening,
        &Pipeline::apply_lens_corrections,
        &Pipeline::apply_geometry,
        &Pipeline::apply_vignette,
        &Pipeline::apply_grain,
    };

    // A crop leaves the working image a view into its memory; start from the whole again.
    cv::Mat& working = scratch_.working;
    if (working.isSubmatrix()) {
        cv::Size whole;
        cv::Point offset;
        working.locateROI(whole, offset);
        working.adjustROI(offset.y, whole.height - working.rows - offset.y, offset.x,
                          whole.width - working.cols - offset.x);
    }
    RowPass pass(source.mat, working);
    for (Stage stage : kStages) (this->*stage)(pass, params);
    // The result is written into its own storage when its size still fits:
    // nothing outside the pipeline keeps a view of it between renders.
    pass.finish(result.mat);
}

void Pipeline::run_alone(Stage stage, cv::Mat& working, const EditParams& params) {
    RowPass pass(working);
    (this->*stage)(pass, params);
    pass.finish();
}

void Pipeline::apply_white_balance(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_white_balance, w, p); }
void Pipeline::apply_exposure(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_exposure, w, p); }
void Pipeline::apply_brightness(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_brightness, w, p); }
void Pipeline::apply_highlights_shadows(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_highlights_shadows, w, p); }
void Pipeline::apply_whites_blacks(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_whites_blacks, w, p); }
void Pipeline::apply_contrast(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_contrast, w, p); }
void Pipeline::apply_tone_curves(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_tone_curves, w, p); }
void Pipeline::apply_clarity_texture(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_clarity_texture, w, p); }
void Pipeline::apply_dehaze(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_dehaze, w, p); }
void Pipeline::apply_saturation_vibrance(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_saturation_vibrance, w, p); }
void Pipeline::apply_hsl(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_hsl, w, p); }
void Pipeline::apply_split_toning(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_split_toning, w, p); }
void Pipeline::apply_noise_reduction(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_noise_reduction, w, p); }
void Pipeline::apply_sharpening(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_sharpening, w, p); }
void Pipeline::apply_lens_corrections(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_lens_corrections, w, p); }
void Pipeline::apply_geometry(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_geometry, w, p); }
void Pipeline::apply_vignette(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_vignette, w, p); }
void Pipeline::apply_grain(cv::Mat& w, const EditParams& p) { run_alone(&Pipeline::apply_grain, w, p); }

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

#pragma once
// The rendering pipeline: source image in, eighteen stages over a float
// R, G, B, A working image (nominal range 0..1), 16-bit result out.

#include "api/edit_params.h"
#include "color/profile_manager.h"
#include "image/image_buffer.h"

#include <opencv2/core.hpp>

#include <vector>

namespace vornalix {

class Pipeline {
public:
    ImageBuffer source;
    ImageBuffer result;
    color_mgmt::ProfileManager profile_manager;

    void set_source(const ImageBuffer& image) { source.copy_from(image); }
    void process(const EditParams& params);
    cv::Mat get_preview_8bit() const { return result.to_8bit(); }
    static void apply_srgb_gamma(cv::Mat& image);

    // Stages, in the order process() runs them. Each returns at once when
    // its settings are neutral.
    void apply_white_balance(cv::Mat& working, const EditParams& params);
    void apply_exposure(cv::Mat& working, const EditParams& params);
    void apply_brightness(cv::Mat& working, const EditParams& params);
    void apply_highlights_shadows(cv::Mat& working, const EditParams& params);
    void apply_whites_blacks(cv::Mat& working, const EditParams& params);
    void apply_contrast(cv::Mat& working, const EditParams& params);
    void apply_tone_curves(cv::Mat& working, const EditParams& params);
    void apply_clarity_texture(cv::Mat& working, const EditParams& params);
    void apply_dehaze(cv::Mat& working, const EditParams& params);
    void apply_saturation_vibrance(cv::Mat& working, const EditParams& params);
    void apply_hsl(cv::Mat& working, const EditParams& params);
    void apply_split_toning(cv::Mat& working, const EditParams& params);
    void apply_noise_reduction(cv::Mat& working, const EditParams& params);
    void apply_sharpening(cv::Mat& working, const EditParams& params);
    void apply_lens_corrections(cv::Mat& working, const EditParams& params);
    void apply_geometry(cv::Mat& working, const EditParams& params);
    void apply_vignette(cv::Mat& working, const EditParams& params);
    void apply_grain(cv::Mat& working, const EditParams& params);

    static void build_lut(const CurvePoints& points, std::vector<float>& lut);
};

}  // namespace vornalix

#pragma once
// The rendering pipeline: source image in, eighteen stages over a float
// R, G, B, A working image (nominal range 0..1), 16-bit result out.

#include "settings/edit_params.h"
#include "color/profile_manager.h"
#include "image/image_buffer.h"
#include "pipeline/row_pass.h"

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
    // its settings are neutral. The first form runs one stage on its own;
    // the second adds the stage to a render's pass (per-pixel work is queued,
    // neighbourhood work runs at once), which is what process() uses.
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

    void apply_white_balance(RowPass& pass, const EditParams& params);
    void apply_exposure(RowPass& pass, const EditParams& params);
    void apply_brightness(RowPass& pass, const EditParams& params);
    void apply_highlights_shadows(RowPass& pass, const EditParams& params);
    void apply_whites_blacks(RowPass& pass, const EditParams& params);
    void apply_contrast(RowPass& pass, const EditParams& params);
    void apply_tone_curves(RowPass& pass, const EditParams& params);
    void apply_clarity_texture(RowPass& pass, const EditParams& params);
    void apply_dehaze(RowPass& pass, const EditParams& params);
    void apply_saturation_vibrance(RowPass& pass, const EditParams& params);
    void apply_hsl(RowPass& pass, const EditParams& params);
    void apply_split_toning(RowPass& pass, const EditParams& params);
    void apply_noise_reduction(RowPass& pass, const EditParams& params);
    void apply_sharpening(RowPass& pass, const EditParams& params);
    void apply_lens_corrections(RowPass& pass, const EditParams& params);
    void apply_geometry(RowPass& pass, const EditParams& params);
    void apply_vignette(RowPass& pass, const EditParams& params);
    void apply_grain(RowPass& pass, const EditParams& params);

    static void build_lut(const CurvePoints& points, std::vector<float>& lut);

private:
    using Stage = void (Pipeline::*)(RowPass&, const EditParams&);
    void run_alone(Stage stage, cv::Mat& working, const EditParams& params);

    // Scratch images kept between renders: a render of the same size reuses
    // their memory instead of faulting in fresh pages. Nothing rendered is
    // kept in them from one render to the next.
    struct Scratch {
        cv::Mat working;  // the float working image
        cv::Mat blurred;  // a second full image: blurred copies, then warps and remaps
        cv::Mat plane_a, plane_b, plane_c;  // single planes (luminance, masks, maps)
    } scratch_;
};

}  // namespace vornalix

#pragma once
// The rendering pipeline: source image in, the stages of stages.h over a
// float R, G, B, A working image (nominal range 0..1), 16-bit result out.

#include "settings/edit_params.h"
#include "color/profile_manager.h"
#include "image/image_buffer.h"
#include "image/image_memory.h"
#include "lens/lens_profile.h"
#include "pipeline/row_pass.h"
#include "pipeline/stages.h"

#include <opencv2/core.hpp>

#include <array>
#include <memory>
#include <vector>

namespace vornalix {

class Pipeline {
public:
    ImageBuffer source;
    ImageBuffer result;
    color_mgmt::ProfileManager profile_manager;
    // The loaded RAW file's lens profile, which the `lens_profile` setting applies.
    lens::Profile lens_profile;
    // Working pixels per pixel of the default-bounded image: the stages widen
    // every blur, kernel and window measured in pixels by it, so a larger
    // working size keeps the look. 1 at the default bounds.
    float pixel_scale = 1.0f;

    void set_source(const ImageBuffer& image) { source.copy_from(image); }
    void process(const EditParams& params);
    // Lets go of the memory renders keep for the next one.
    void release_scratch();
    cv::Mat get_preview_8bit() const { return result.to_8bit(); }
    static void apply_srgb_gamma(cv::Mat& image);

    // Stages, in the order process() runs them (stages.h). Each returns at
    // once when its settings are neutral. The first form runs one stage on
    // its own; the second adds the stage to a render's pass (per-pixel work is
    // queued, neighbourhood work runs at once), which is what process() uses.
#define VORNALIX_DECLARE_STAGE(name)                                   \
    void apply_##name(cv::Mat& working, const EditParams& params); \
    void apply_##name(RowPass& pass, const EditParams& params);
    VORNALIX_STAGES(VORNALIX_DECLARE_STAGE)
#undef VORNALIX_DECLARE_STAGE

    // `plane` (any type; one of another size than the source is stretched to
    // it first) moved as the last render moved the source's pixels, at the
    // result's size: how a subject mask follows crops, turns and corrections.
    cv::Mat follow_render(const cv::Mat& plane) const;

    static void build_lut(const CurvePoints& points, std::vector<float>& lut);

private:
    using Stage = void (Pipeline::*)(RowPass&, const EditParams&);
    void run_alone(Stage stage, cv::Mat& working, const EditParams& params);

    // Scratch images. The working image, the warps' spare and the band
    // buffers are kept between renders: a render of the same size reuses
    // their memory instead of faulting in fresh pages. (The spare is not
    // kept by a render that also maps the result, so the first render of a
    // size peaks where it would without it.)
    // The planes live for one stage (and the kernels that read them). They
    // borrow the spare's memory while the warps leave it alone: with warps
    // they add nothing to the render's peak (the warps'); without, the spare
    // holds one image where the planes would hold at most three quarters.
    // Nothing rendered is kept in them from one render to the next.
    struct Scratch {
        cv::Mat working;  // the float working image
        cv::Mat spare;    // a second full image the warps write into
        PlaneLender lender;  // before the planes: they give their memory back to it
        cv::Mat plane_a, plane_b, plane_c;  // single planes (luminance, masks, maps)
        BandBuffers bands;
        // The planes this stage makes borrow the spare's memory where they
        // can. The stages before the warps map it first where it is missing
        // (`map_spare`, the image's size): a render with planes but no warps
        // then reuses its memory all the same, and the warps find it mapped.
        void lend_planes(cv::Size map_spare = cv::Size());
        void release_stage_images();
        // The spare for a warp to write into, once the pass has run what it
        // had pending: a plane still out of its memory leaves it to that
        // plane and gives the warp fresh memory.
        cv::Mat& warp_spare();
    } scratch_;
    // The tone curves' tables, kept while the curves stay as they are:
    // building them is work on one thread at the head of a render.
    struct CurveTables {
        std::array<CurvePoints, 4> curves;
        std::shared_ptr<const std::array<std::vector<float>, 3>> folded;  // red, green, blue after the master
    } curve_tables_;
    EditParams rendered_;  // the settings of the last process()
};

}  // namespace vornalix

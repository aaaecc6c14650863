#include "pipeline/pipeline.h"

#include <cmath>

namespace vornalix {

void Pipeline::process(const EditParams& params) {
    if (source.empty()) return;
    rendered_ = params;
#define VORNALIX_STAGE_ENTRY(name) &Pipeline::apply_##name,
    static const Stage kStages[] = {VORNALIX_STAGES(VORNALIX_STAGE_ENTRY)};
#undef VORNALIX_STAGE_ENTRY

    // A crop leaves the working image a view into its memory; start from the whole again.
    cv::Mat& working = scratch_.working;
    if (working.isSubmatrix()) {
        cv::Size whole;
        cv::Point offset;
        working.locateROI(whole, offset);
        working.adjustROI(offset.y, whole.height - working.rows - offset.y, offset.x,
                          whole.width - working.cols - offset.x);
    }
    RowPass pass(source.mat, working, &scratch_.bands);
    for (Stage stage : kStages) {
        (this->*stage)(pass, params);
        scratch_.release_stage_images();  // queued kernels keep what they still read
    }
    // The result is written into its own storage when its size still fits:
    // nothing outside the pipeline keeps a view of it between renders.
    pass.finish(result.mat);
}

void Pipeline::release_scratch() {
    for (cv::Mat* image : {&scratch_.working, &scratch_.spare}) image->release();
    scratch_.bands = BandBuffers();
}

void Pipeline::Scratch::lend_planes(cv::Size map_spare) {
    if (map_spare.area() > 0) create_image(spare, map_spare, CV_32FC4);
    lender.lend_from(spare);
    for (cv::Mat* plane : {&plane_a, &plane_b, &plane_c}) plane->allocator = &lender;
}

void Pipeline::Scratch::release_stage_images() {
    for (cv::Mat* plane : {&plane_a, &plane_b, &plane_c}) {
        plane->release();
        plane->allocator = nullptr;
    }
    lender.lend_from(cv::Mat());
}

cv::Mat& Pipeline::Scratch::warp_spare() {
    if (lender.lending()) spare = cv::Mat();
    return spare;
}

void Pipeline::run_alone(Stage stage, cv::Mat& working, const EditParams& params) {
    RowPass pass(working);
    (this->*stage)(pass, params);
    pass.finish();
}

// The one-stage forms: each runs its pass form alone.
#define VORNALIX_DEFINE_STANDALONE(name)                                       \
    void Pipeline::apply_##name(cv::Mat& working, const EditParams& params) { \
        run_alone(&Pipeline::apply_##name, working, params);                 \
    }
VORNALIX_STAGES(VORNALIX_DEFINE_STANDALONE)
#undef VORNALIX_DEFINE_STANDALONE

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

#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_white_balance(cv::Mat&, const EditParams&) {}
void Pipeline::apply_exposure(cv::Mat&, const EditParams&) {}
void Pipeline::apply_brightness(cv::Mat&, const EditParams&) {}
void Pipeline::apply_highlights_shadows(cv::Mat&, const EditParams&) {}
void Pipeline::apply_whites_blacks(cv::Mat&, const EditParams&) {}
void Pipeline::apply_contrast(cv::Mat&, const EditParams&) {}

}  // namespace vornalix

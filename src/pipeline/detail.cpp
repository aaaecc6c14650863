#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_noise_reduction(cv::Mat&, const EditParams&) {}
void Pipeline::apply_sharpening(cv::Mat&, const EditParams&) {}

}  // namespace vornalix

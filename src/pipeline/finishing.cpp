#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_vignette(cv::Mat&, const EditParams&) {}
void Pipeline::apply_grain(cv::Mat&, const EditParams&) {}

}  // namespace vornalix

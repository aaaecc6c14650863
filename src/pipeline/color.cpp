#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_saturation_vibrance(cv::Mat&, const EditParams&) {}
void Pipeline::apply_hsl(cv::Mat&, const EditParams&) {}
void Pipeline::apply_split_toning(cv::Mat&, const EditParams&) {}

}  // namespace vornalix

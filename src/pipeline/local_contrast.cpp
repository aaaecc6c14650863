#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_clarity_texture(cv::Mat&, const EditParams&) {}
void Pipeline::apply_dehaze(cv::Mat&, const EditParams&) {}

}  // namespace vornalix

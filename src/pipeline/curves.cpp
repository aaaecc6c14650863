#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_tone_curves(cv::Mat&, const EditParams&) {}

void Pipeline::build_lut(const CurvePoints&, std::vector<float>& lut) { lut.assign(65536, 0.0f); }

}  // namespace vornalix

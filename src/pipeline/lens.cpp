#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_lens_corrections(cv::Mat&, const EditParams&) {}

}  // namespace vornalix

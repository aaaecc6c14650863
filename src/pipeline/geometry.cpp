#include "pipeline/pipeline.h"

namespace vornalix {

void Pipeline::apply_geometry(cv::Mat&, const EditParams&) {}

}  // namespace vornalix

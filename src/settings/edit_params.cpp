#include "settings/edit_params.h"

namespace vornalix {

bool CurvePoints::is_identity() const {
    if (points.size() < 2) return true;
    return points.size() == 2 && points[0] == std::make_pair(0.0f, 0.0f) &&
           points[1] == std::make_pair(1.0f, 1.0f);
}

}  // namespace vornalix

#pragma once
// Allocation of large images, each mapped on its own (from 1 MB), so its
// memory goes back to the system when the image is freed. A render or a
// decode touches every page of its images once; on the virtual machines
// photo tools often run on, each 4 KiB first-touch fault costs microseconds,
// which for a few 40 MB images adds up to more than the arithmetic. Asking
// for transparent huge pages where the system grants them on request turns
// those faults into a few dozen.

#include <opencv2/core.hpp>

namespace vornalix {

// m.create(size, type), mapped from 1 MB; a fresh allocation of at least a
// few megabytes is then advised to use huge pages (nothing else changes,
// and nothing happens where the system has no such advice).
void create_image(cv::Mat& m, cv::Size size, int type);

}  // namespace vornalix

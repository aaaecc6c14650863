#pragma once
// Perceptual hash: a 64-bit DCT fingerprint of a picture, so that visually
// similar pictures give hashes that differ in few bits.

#include <opencv2/core.hpp>

#include <cstdint>

namespace vornalix {

// The hash of an 8-bit one-channel image (not empty). Bit 63 - (8 r + c) is
// set when the DCT coefficient at row r, column c of the lowest 8 x 8
// frequencies lies strictly above the median of the 63 coefficients other
// than the DC term.
uint64_t perceptual_hash(const cv::Mat& grey);

}  // namespace vornalix

#pragma once
// Perceptual hash: a 64-bit DCT fingerprint of a picture, so that visually
// similar pictures give hashes that differ in few bits.

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>

namespace vornalix {

// The hash of an 8-bit one-channel image (not empty). Bit 63 - (8 r + c) is
// set when the DCT coefficient at row r, column c of the lowest 8 x 8
// frequencies lies strictly above the median of the 63 coefficients other
// than the DC term.
uint64_t perceptual_hash(const cv::Mat& grey);

// Standard images are read in grey with their long side bounded to this
// before the hash reduction.
constexpr int kHashMaxSide = 256;

// -4: the grey image is empty (an undecodable embedded thumbnail).
constexpr int kHashNoGreyImage = -4;

// The hash of an image file: standard images read in grey, RAW files through
// their embedded thumbnail. Fails with the codes of vornalix_phash (-1
// unreadable, -2 no thumbnail, -3 no thumbnail image, -4 no grey image).
uint64_t perceptual_hash_file(const std::string& path);

}  // namespace vornalix

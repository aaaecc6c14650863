#pragma once
// The RAW decoder: drives LibRaw and keeps the last decoded image with the
// shot data that EXIF reading falls back on.

#include "image/image_buffer.h"

#include <string>

namespace vornalix {

class ArwDecoder {
public:
    ImageBuffer image;
    int width = 0;
    int height = 0;
    float iso_speed = 0.0f;
    float shutter = 0.0f;
    float aperture = 0.0f;
    float focal_length = 0.0f;
    char make[64] = {};
    char model[64] = {};
    int flip = 0;
    std::string path;
    std::string error;

    // Back to the empty state: no image, all numbers 0, strings empty.
    void reset() { *this = ArwDecoder(); }
};

}  // namespace vornalix

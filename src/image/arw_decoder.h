#pragma once
// The RAW decoder: drives LibRaw and keeps the last decoded image with the
// shot data that EXIF reading falls back on.

#include "image/image_buffer.h"
#include "lens/lens_profile.h"

#include <string>

namespace vornalix {

// Long-side bound of a decoded RAW image, after optional half-size decoding.
constexpr int kRawMaxSide = 2000;

// Everything one successful decode yields. Decoding fills one of these and
// the decoder takes it over only when nothing can fail any more, so a failed
// decode leaves the previous image and shot data in place.
struct RawDecodeResult {
    ImageBuffer image;
    float iso_speed = 0.0f;
    float shutter = 0.0f;
    float aperture = 0.0f;
    float focal_length = 0.0f;
    char make[64] = {};
    char model[64] = {};
    char lens[128] = {};
    int flip = 0;
    lens::Profile lens_profile;
    cv::Size full_size;  // the developed image's size before the long-side bound
};

// Copies a camera make or model: at most 63 characters, zero-filled, so the
// last byte stays NUL whatever `src` holds.
void copy_camera_name(char (&dst)[64], const char (&src)[64]);

// Decodes `path` through a fresh LibRaw processor to 16-bit sRGB, `scale`
// (clamped to 1..4) choosing half-size decoding (2..4) and one more halving
// (4), then bounds the long side to max_side. Fails with a one-line message.
RawDecodeResult decode_raw(const std::string& path, int scale, int max_side = kRawMaxSide);

// The last decode taken over, with its size, path and error text.
class ArwDecoder : public RawDecodeResult {
public:
    int width = 0;
    int height = 0;
    std::string path;
    std::string error;

    // Decodes `path` (see decode_raw) without taking the result over. Always
    // records `path` and clears `error`; a failure's message is kept in
    // `error` as it passes on.
    RawDecodeResult decode(const std::string& path, int scale, int max_side = kRawMaxSide);

    // Takes over a successful decode's image and shot data.
    void commit(RawDecodeResult&& result) noexcept;

    // Back to the empty state: no image, all numbers 0, strings empty.
    void reset() { *this = ArwDecoder(); }
};

}  // namespace vornalix

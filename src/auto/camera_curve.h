#pragma once
// The camera's look: tone curves and a saturation that carry the library's development of a
// RAW file to the camera's own JPEG of the same shot.

#include "settings/edit_params.h"

#include <opencv2/core.hpp>

#include <array>

namespace vornalix::analysis {

// Points of each fitted curve, evenly spaced in x from 0 to 1 so the curve
// stage's uniform spline runs smoothly through them.
constexpr int kCameraCurvePoints = 16;

// The four curves of the curve stage (master, red, green, blue).
using CameraCurves = std::array<CurvePoints, 4>;

// Curves that give `developed` the tones of `camera` (both float R, G, B(, A)
// in 0..1, of any sizes): the master curve matches the two luminance
// distributions, then each colour curve matches that channel's distribution
// once the master curve has been applied. Matching distributions, not pixel
// positions, is indifferent to the JPEG's size and crop. Where a match would
// land on the camera's clipped highlights, or rest on the development's last
// few bright pixels, a curve runs straight to (1, 1) instead. A colour curve
// within kNegligibleCurve of the diagonal stays the identity. Every curve is
// non-decreasing. `saturation` (the setting, -100..100) then gives the curved
// development the camera's mean colour spread, which no per-channel curve can
// set; 0 for grey pictures.
constexpr float kNegligibleCurve = 0.01f;
struct CameraLook {
    CameraCurves curves;
    float saturation = 0.0f;
};
CameraLook fit_camera_look(const cv::Mat& developed, const cv::Mat& camera);

}  // namespace vornalix::analysis

#pragma once
// The arithmetic a per-pixel formula is written in, for one float and for
// four float lanes (one pixel's R, G, B, A, or one channel of four pixels).
// A formula written once as a template on the lane type T gives the same
// values in both forms: the lane operations are IEEE single precision, and
// the scalar min_of and max_of pick their operands as the vector ones do
// (the second when either is NaN).

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cmath>

namespace vornalix::lanes {

using V = cv::v_float32x4;

// v in every lane; all(v) alone gives four lanes.
template <class T = V>
T all(float v);
template <>
inline float all<float>(float v) { return v; }
template <>
inline V all<V>(float v) { return cv::v_setall_f32(v); }

inline float abs_of(float v) { return std::fabs(v); }
inline V abs_of(const V& v) { return cv::v_abs(v); }
inline float sqrt_of(float v) { return std::sqrt(v); }
inline V sqrt_of(const V& v) { return cv::v_sqrt(v); }
inline float min_of(float a, float b) { return a < b ? a : b; }
inline V min_of(const V& a, const V& b) { return cv::v_min(a, b); }
inline float max_of(float a, float b) { return a > b ? a : b; }
inline V max_of(const V& a, const V& b) { return cv::v_max(a, b); }
// `then` where the condition (a comparison of T) holds, else `otherwise`.
inline float select(bool condition, float then, float otherwise) { return condition ? then : otherwise; }
inline V select(const V& condition, const V& then, const V& otherwise) {
    return cv::v_select(condition, then, otherwise);
}
// Rounded down; NaN stays NaN. Floats from 2^23 up are whole already.
inline float floor_of(float v) { return std::floor(v); }
inline V floor_of(const V& v) {
    return cv::v_select(cv::v_abs(v) < all(8388608.0f), cv::v_cvt_f32(cv::v_floor(v)), v);
}
// Truncated toward zero, for values known to fit an int.
inline int truncated(float v) { return static_cast<int>(v); }
inline cv::v_int32x4 truncated(const V& v) { return cv::v_trunc(v); }
// v times a constant, also for whole planes (an OpenCV matrix expression).
inline float scaled(float v, float k) { return v * k; }
inline V scaled(const V& v, float k) { return v * all(k); }
inline cv::MatExpr scaled(const cv::Mat& v, float k) { return v * k; }

// out[x] = f(x - width / 2) for the columns of a row, with f written once for
// a float and four lanes and even in its argument. Column width - x lies
// exactly as far right of the centre as x lies left of it (whole or half
// numbers, exact in float), so only the left half and the centre are
// computed and the rest mirrored.
template <class F>
void even_about_centre(int width, float* out, F f) {
    const float centre = width / 2.0f;
    const int computed = std::min(width, width / 2 + 1);
    int x = 0;
    for (; x + 4 <= computed; x += 4)
        cv::v_store(out + x, f(V(x - centre, x + 1 - centre, x + 2 - centre, x + 3 - centre)));
    for (; x < computed; ++x) out[x] = f(x - centre);
    for (; x < width; ++x) out[x] = out[width - x];
}

// Clamped to [0, 1]; NaN becomes 0, so a clamped value is always a number.
template <class T>
T clamp01(const T& v) { return min_of(max_of(v, all<T>(0.0f)), all<T>(1.0f)); }

// All bits set in the colour lanes, none in alpha: select(colour_mask(), new, old)
// keeps a pixel's alpha.
inline V colour_mask() { return cv::v_reinterpret_as_f32(cv::v_int32x4(-1, -1, -1, 0)); }
// All bits set in lane `lane` (0 to 3) alone.
inline V lane_mask(int lane) {
    return cv::v_reinterpret_as_f32(cv::v_int32x4(-(lane == 0), -(lane == 1), -(lane == 2), -(lane == 3)));
}

}  // namespace vornalix::lanes

#include "color/input_profile.h"

#include <lcms2.h>

#include <memory>
#include <vector>

namespace vornalix::color_mgmt {

namespace {

constexpr double kEightToSixteen = 257.0;
// Half an 8-bit level in 16-bit units: a profile whose conversion to sRGB
// moves no probe colour further than this already describes sRGB.
constexpr int kSameAsSrgb = 128;
constexpr int kProbeStep = 15;  // 0, 15, ..., 255 on every channel

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

// The pixels Little CMS reads for the profile's colour space, in its format.
struct Source {
    cv::Mat pixels;
    cmsUInt32Number format = 0;
};

// `space` is the header's signature as a number: a crafted profile may hold
// any value there, not only the enumeration's.
Source source_for(const codec::DecodedImage& decoded, cmsUInt32Number space) {
    if (space == cmsSigRgbData && decoded.cmyk.empty()) return {decoded.rgb, TYPE_RGB_8};
    if (space == cmsSigGrayData && decoded.cmyk.empty()) {
        cv::Mat grey;  // grey files decode to three equal channels
        cv::extractChannel(decoded.rgb, grey, 0);
        return {grey, TYPE_GRAY_8};
    }
    if (space == cmsSigCmykData && !decoded.cmyk.empty())
        return {decoded.cmyk, static_cast<cmsUInt32Number>(decoded.cmyk_inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8)};
    return {};
}

// Relative colorimetric with black-point compensation: colours inside sRGB
// keep their measured values (a tagged copy of an sRGB picture loads back to
// it), the source's black maps to sRGB's black, and for the matrix-shaper
// profiles of cameras and phones perceptual would give the same result.
Transform make_transform(cmsHPROFILE from, cmsUInt32Number format) {
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) return nullptr;
    return Transform(cmsCreateTransform(from, format, srgb.get(), TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC,
                                        cmsFLAGS_BLACKPOINTCOMPENSATION));
}

cv::Mat apply(cmsHTRANSFORM transform, const cv::Mat& pixels) {
    cv::Mat out(pixels.size(), CV_16UC3);
    for (int y = 0; y < pixels.rows; ++y)
        cmsDoTransform(transform, pixels.ptr(y), out.ptr(y), static_cast<cmsUInt32Number>(pixels.cols));
    return out;
}

bool describes_srgb(cmsHTRANSFORM transform, cmsUInt32Number format) {
    if (format != TYPE_RGB_8 && format != TYPE_GRAY_8) return false;
    const int channels = format == TYPE_RGB_8 ? 3 : 1;
    std::vector<cv::Vec<unsigned char, 3>> colours;
    for (int r = 0; r <= 255; r += kProbeStep)
        for (int g = 0; g <= 255; g += kProbeStep)
            for (int b = 0; b <= 255; b += kProbeStep)
                if (channels == 3 || (r == g && g == b))
                    colours.push_back({static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                       static_cast<unsigned char>(b)});
    cv::Mat rgb(1, static_cast<int>(colours.size()), CV_8UC3, colours.data());
    cv::Mat in = rgb;
    if (channels == 1) cv::extractChannel(rgb, in, 0);
    const cv::Mat out = apply(transform, in);
    cv::Mat expected;
    rgb.convertTo(expected, CV_16UC3, kEightToSixteen);
    return cv::norm(out, expected, cv::NORM_INF) <= kSameAsSrgb;
}

}  // namespace

cv::Mat to_srgb(const codec::DecodedImage& decoded) {
    if (decoded.icc.empty()) return decoded.rgb;
    const Profile from(cmsOpenProfileFromMem(decoded.icc.data(), static_cast<cmsUInt32Number>(decoded.icc.size())));
    if (!from) return decoded.rgb;
    const Source source = source_for(decoded, static_cast<cmsUInt32Number>(cmsGetColorSpace(from.get())));
    if (source.pixels.empty()) return decoded.rgb;
    const Transform transform = make_transform(from.get(), source.format);
    if (!transform || describes_srgb(transform.get(), source.format)) return decoded.rgb;
    return apply(transform.get(), source.pixels);
}

cv::Mat to_8bit(const cv::Mat& srgb) {
    if (srgb.depth() == CV_8U) return srgb;
    cv::Mat out;
    srgb.convertTo(out, CV_8U, 1.0 / kEightToSixteen);
    return out;
}

}  // namespace vornalix::color_mgmt

#include "color/profile_manager.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace vornalix::color_mgmt {

namespace {

// A tone curve as Little CMS's parametric curves describe it: type 1 is a
// pure gamma, type 4 the sRGB curve with its linear toe.
struct ToneCurve {
    int type;
    double parameters[5];
};

constexpr ToneCurve kSrgbCurve{4, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}};

struct RgbSpace {
    const char* description;
    cmsCIExyY white;
    cmsCIExyYTRIPLE primaries;
    ToneCurve curve;
};

// Every primary and the white point carry Y = 1.
const RgbSpace kAdobeRgb{"Adobe RGB (1998)",
                         {0.3127, 0.3290, 1.0},
                         {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}},
                         {1, {2.2}}};
const RgbSpace kProPhotoRgb{"ProPhoto RGB",
                            {0.3457, 0.3585, 1.0},
                            {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}},
                            {1, {1.8}}};
const RgbSpace kLinearSrgb{"Linear sRGB",
                           {0.3127, 0.3290, 1.0},
                           {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}},
                           {1, {1.0}}};
// The DCI-P3 primaries with the D65 white and the sRGB curve, as phones write it.
const RgbSpace kDisplayP3{"Display P3",
                          {0.3127, 0.3290, 1.0},
                          {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}},
                          kSrgbCurve};
constexpr const char* kSrgbDescription = "sRGB";

const RgbSpace* space_definition(ColorSpace space) {
    switch (space) {
        case ColorSpace::AdobeRGB: return &kAdobeRgb;
        case ColorSpace::ProPhotoRGB: return &kProPhotoRgb;
        case ColorSpace::LinearSRGB: return &kLinearSrgb;
        case ColorSpace::DisplayP3: return &kDisplayP3;
        default: return nullptr;  // sRGB and every unknown value
    }
}

// Replaces the profile's description, which readers show as its name.
bool describe(cmsHPROFILE profile, const char* description) {
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    if (!text) return false;
    const bool ok = cmsMLUsetASCII(text, "en", "US", description) &&
                    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    return ok;
}

// The header's creation date (bytes 24..35: year, month, day, hour, minute,
// second, 16 bits each, big-endian). Little CMS stamps the current time; a
// fixed one makes a written file depend on its pixels alone.
constexpr size_t kDateOffset = 24;
constexpr unsigned char kFixedDate[12] = {0x07, 0xEA, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};  // 2026-01-01

cmsHPROFILE build_profile(const RgbSpace& space) {
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, space.curve.type, space.curve.parameters);
    if (!curve) return nullptr;
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&space.white, &space.primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

constexpr const char* kUnsupportedDepth = "Unsupported image depth for colour conversion";
constexpr const char* kUnsupportedChannels = "Unsupported channel count for colour conversion";
constexpr const char* kUnsupportedCameraDepth = "Unsupported image depth for camera profile";

// The lcms2 pixel format describing one row of `image`, or 0 when the depth
// has none. Only 3 and 4 channels are described: any other count would make
// lcms2 read and write a row length the image does not hold.
cmsUInt32Number pixel_format(int depth, int channels) {
    const bool rgba = channels == 4;
    switch (depth) {
        case CV_8U: return rgba ? TYPE_RGBA_8 : TYPE_RGB_8;
        case CV_16U: return rgba ? TYPE_RGBA_16 : TYPE_RGB_16;
        case CV_32F: return rgba ? TYPE_RGBA_FLT : TYPE_RGB_FLT;
        default: return 0;
    }
}

bool has_rgb_channels(const cv::Mat& image) { return image.channels() == 3 || image.channels() == 4; }

// Runs the transform over every row in place; the alpha plane is not copied
// by lcms2, so it stays as it was.
void transform_rows(cmsHTRANSFORM transform, cv::Mat& image) {
    const auto columns = static_cast<cmsUInt32Number>(image.cols);
    for (int y = 0; y < image.rows; ++y) {
        void* row = image.ptr(y);
        cmsDoTransform(transform, row, row, columns);
    }
}

}  // namespace

ProfileManager::~ProfileManager() { close_camera_profile(); }

void ProfileManager::close_camera_profile() {
    if (camera_profile) cmsCloseProfile(camera_profile);
    camera_profile = nullptr;
}

cmsHPROFILE ProfileManager::create_profile(ColorSpace space) const {
    const RgbSpace* definition = space_definition(space);
    cmsHPROFILE profile = definition ? build_profile(*definition) : cmsCreate_sRGBProfile();
    if (profile && !describe(profile, definition ? definition->description : kSrgbDescription)) {
        cmsCloseProfile(profile);
        return nullptr;
    }
    return profile;
}

bool ProfileManager::convert(cv::Mat& image, ColorSpace from, ColorSpace to) {
    if (from == to) return true;

    Profile source(create_profile(from));
    Profile destination(create_profile(to));
    if (!source || !destination) {
        error_message = "Failed to create ICC profile";
        return false;
    }
    const cmsUInt32Number format = pixel_format(image.depth(), image.channels());
    if (format == 0) {
        error_message = kUnsupportedDepth;
        return false;
    }
    if (!has_rgb_channels(image)) {
        error_message = kUnsupportedChannels;
        return false;
    }
    Transform transform(cmsCreateTransform(source.get(), format, destination.get(), format,
                                           INTENT_PERCEPTUAL, 0));
    source.reset();
    destination.reset();
    if (!transform) {
        error_message = "cmsCreateTransform failed";
        return false;
    }
    transform_rows(transform.get(), image);
    return true;
}

std::vector<uint8_t> ProfileManager::get_icc_bytes(ColorSpace space) const {
    Profile profile(create_profile(space));
    if (!profile) return {};
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size, 0);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size) || size < kDateOffset + sizeof kFixedDate)
        return {};
    bytes.resize(size);
    std::copy(std::begin(kFixedDate), std::end(kFixedDate), bytes.begin() + kDateOffset);
    return bytes;
}

bool ProfileManager::load_camera_profile(const std::string& path) {
    close_camera_profile();
    camera_profile = cmsOpenProfileFromFile(path.c_str(), "r");
    if (camera_profile) return true;
    error_message = "Failed to load camera ICC profile: " + path;
    return false;
}

bool ProfileManager::apply_camera_profile(cv::Mat& image) {
    if (!camera_profile) return convert(image, ColorSpace::LinearSRGB, ColorSpace::sRGB);

    // Camera data arrives as 16-bit or float; an 8-bit row is half as long as
    // the 16-bit format lcms2 would be told, so such images are refused.
    const int depth = image.depth();
    if (depth != CV_16U && depth != CV_32F) {
        error_message = kUnsupportedCameraDepth;
        return false;
    }
    if (!has_rgb_channels(image)) {
        error_message = kUnsupportedChannels;
        return false;
    }
    Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) {
        error_message = "Failed to create output sRGB profile";
        return false;
    }
    const cmsUInt32Number format = pixel_format(depth, image.channels());
    Transform transform(cmsCreateTransform(camera_profile, format, srgb.get(), format, INTENT_PERCEPTUAL, 0));
    srgb.reset();
    if (!transform) {
        error_message = "cmsCreateTransform failed for camera profile";
        return false;
    }
    transform_rows(transform.get(), image);
    return true;
}

}  // namespace vornalix::color_mgmt

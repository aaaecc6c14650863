#include "lens/lens_profile.h"

#include "pipeline/pixel.h"

#include <lensfun.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <memory>

namespace vornalix::lens {

namespace {

// Vignetting gains are measured on linear light; the working image holds
// display-encoded values, on which the same brightening is gain^(1/gamma).
constexpr float kDisplayGamma = 2.2f;
// Focus distance in metres when the file gives none; vignetting barely
// depends on it.
constexpr float kUnknownDistance = 1000.0f;
// Lets the database scale the corrected frame so no border is left empty.
constexpr float kAutomaticScale = 0.0f;
constexpr int kCorrections = LF_MODIFY_VIGNETTING | LF_MODIFY_DISTORTION | LF_MODIFY_TCA;

// Loaded on first use and kept for the process: profiles point into it.
const lfDatabase& database() {
    static const lfDatabase* db = [] {
        auto* loaded = new lfDatabase();
        loaded->Load();  // a missing database matches nothing
        return loaded;
    }();
    return *db;
}

struct ListRelease {
    void operator()(const void* list) const { lf_free(const_cast<void*>(list)); }
};
template <class T>
using List = std::unique_ptr<const T*[], ListRelease>;

// The database names cameras with their maker ("Canon EOS 30D"); LibRaw
// usually leaves it out of the model.
std::string full_model(const Shot& shot) {
    if (shot.model.rfind(shot.make, 0) == 0) return shot.model;
    return shot.make + " " + shot.model;
}

}  // namespace

std::string Profile::name() const { return found() ? lf_mlstr_get(lens->Model) : ""; }

Profile find_profile(const Shot& shot) {
    if (shot.make.empty() || shot.lens.empty() || !(shot.focal_length > 0.0f)) return {};
    const lfDatabase& db = database();
    const List<lfCamera> cameras(db.FindCameras(shot.make.c_str(), full_model(shot).c_str()));
    if (!cameras || !cameras[0]) return {};
    // Ordered best match first.
    const List<lfLens> lenses(db.FindLenses(cameras[0], nullptr, shot.lens.c_str()));
    if (!lenses || !lenses[0]) return {};
    return {lenses[0], cameras[0]->CropFactor, shot.focal_length, shot.aperture};
}

namespace {

// Display-encoded brightening per pixel, from the database's linear gain.
cv::Mat vignetting_gain(const lfModifier& modifier, cv::Size size) {
    cv::Mat gain(size, CV_32F, cv::Scalar(1.0f));
    cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y)
            modifier.ApplyColorModification(
                gain.ptr<float>(y), 0.0f, static_cast<float>(y), size.width, 1, LF_CR_1(INTENSITY),
                static_cast<int>(gain.step));
    });
    cv::pow(gain, 1.0f / kDisplayGamma, gain);
    return gain;
}

void apply_gain(cv::Mat& image, const cv::Mat& gain) {
    cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            cv::Vec4f* px = image.ptr<cv::Vec4f>(y);
            const float* g = gain.ptr<float>(y);
            for (int x = 0; x < image.cols; ++x)
                for (int c = 0; c < 3; ++c) px[x][c] = pixel::clamp01(px[x][c] * g[x]);
        }
    });
}

// Where each output pixel samples the input, per colour: x, y for red, green
// and blue in turn (CV_32FC(6)).
cv::Mat sample_positions(const lfModifier& modifier, cv::Size size) {
    cv::Mat positions(size, CV_32FC(6));
    cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y)
            modifier.ApplySubpixelGeometryDistortion(
                0.0f, static_cast<float>(y), size.width, 1, positions.ptr<float>(y));
    });
    return positions;
}

// Red, green and blue each through their own positions; alpha follows green.
void remap_planes(const cv::Mat& image, cv::Mat& out, const cv::Mat& positions) {
    constexpr int kPlaneOfMap[4] = {0, 1, 2, 1};
    cv::Mat planes[4], maps[3];
    cv::split(image, planes);
    for (int c = 0; c < 3; ++c) {
        maps[c].create(image.size(), CV_32FC2);
        const int from_to[] = {2 * c, 0, 2 * c + 1, 1};
        cv::mixChannels(&positions, 1, &maps[c], 1, from_to, 2);
    }
    for (int c = 0; c < 4; ++c) {
        cv::Mat moved;
        cv::remap(planes[c], moved, maps[kPlaneOfMap[c]], cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
        planes[c] = moved;
    }
    cv::merge(planes, 4, out);
}

}  // namespace

void apply_profile(const Profile& profile, cv::Mat& image, cv::Mat& spare) {
    if (!profile.found() || image.empty()) return;
    // The model is relative to the frame, so a reduced working image needs
    // nothing more than its own size here.
    lfModifier modifier(profile.lens, profile.crop_factor, image.cols, image.rows);
    const int active = modifier.Initialize(profile.lens, LF_PF_F32, profile.focal_length, profile.aperture,
                                           kUnknownDistance, kAutomaticScale, profile.lens->Type, kCorrections,
                                           false);
    if (active & LF_MODIFY_VIGNETTING) apply_gain(image, vignetting_gain(modifier, image.size()));
    if (active & (LF_MODIFY_DISTORTION | LF_MODIFY_TCA | LF_MODIFY_SCALE)) {
        remap_planes(image, spare, sample_positions(modifier, image.size()));
        cv::swap(image, spare);
    }
}

}  // namespace vornalix::lens

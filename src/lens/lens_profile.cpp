#include "lens/lens_profile.h"

#include "pipeline/pixel.h"

#include <lensfun.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

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

Match find_match(const Shot& shot) {
    if (shot.make.empty() || shot.lens.empty() || !(shot.focal_length > 0.0f)) return {};
    const lfDatabase& db = database();
    const List<lfCamera> cameras(db.FindCameras(shot.make.c_str(), full_model(shot).c_str()));
    if (!cameras || !cameras[0]) return {};
    // Ordered best match first.
    const List<lfLens> lenses(db.FindLenses(cameras[0], nullptr, shot.lens.c_str()));
    if (!lenses || !lenses[0]) return {};
    return {lenses[0], cameras[0]->CropFactor};
}

struct Profile::Lookup {
    Shot shot;
    std::once_flag once;
    Match match;
};

Profile::Profile(const Shot& shot) : lookup_(std::make_shared<Lookup>()) { lookup_->shot = shot; }

const Shot& Profile::shot() const {
    static const Shot none;
    return lookup_ ? lookup_->shot : none;
}

const Match& Profile::match() const {
    static const Match none;
    if (!lookup_) return none;
    std::call_once(lookup_->once, [this] { lookup_->match = find_match(lookup_->shot); });
    return lookup_->match;
}

std::string Profile::name() const { return found() ? lf_mlstr_get(match().lens->Model) : ""; }

namespace {

// The database's models are smooth across the frame: evaluated every kStep
// pixels (and one step beyond each side) and interpolated bilinearly in
// between, they cost a sixty-fourth as much and stay within a hundredth of a
// pixel.
constexpr int kStep = 8;
// Per sample: where red, green and blue of the output pixel lie in the input
// (x, y each), and the display-encoded brightening the lens's vignetting asks
// for there.
constexpr int kFieldChannels = 7;

// Coarse sample i stands for pixel coordinate (i - 0.5) * kStep - 0.5.
float coarse_to_pixel(int i) { return (i - 0.5f) * kStep - 0.5f; }
float pixel_to_coarse(int x) { return (x + 0.5f) / kStep + 0.5f; }

cv::Mat coarse_field(const lfModifier& modifier, cv::Size size, bool vignetting) {
    const cv::Size coarse((size.width + kStep - 1) / kStep + 2, (size.height + kStep - 1) / kStep + 2);
    cv::Mat field(coarse, CV_32FC(kFieldChannels));
    cv::parallel_for_(cv::Range(0, coarse.height), [&](const cv::Range& rows) {
        for (int j = rows.start; j < rows.end; ++j)
            for (int i = 0; i < coarse.width; ++i) {
                float* out = field.ptr<float>(j) + i * kFieldChannels;
                modifier.ApplySubpixelGeometryDistortion(coarse_to_pixel(i), coarse_to_pixel(j), 1, 1, out);
                float& gain = out[6] = 1.0f;
                if (!vignetting) continue;
                modifier.ApplyColorModification(&gain, out[2], out[3], 1, 1, LF_CR_1(INTENSITY), sizeof(float));
                gain = std::pow(gain, 1.0f / kDisplayGamma);
            }
    });
    return field;
}

// Mirrors an index into 0..n-1 as cv::BORDER_REFLECT does (edge pixel repeated).
inline int reflect(int i, int n) {
    if (i < 0) i = -i - 1;
    if (i >= n) i = 2 * n - i - 1;
    return std::clamp(i, 0, n - 1);
}

// `image` at (x, y), bilinear, edges mirrored.
[[gnu::always_inline]] inline cv::Vec4f sample(const cv::Mat& image, float x, float y) {
    const int x0 = cvFloor(x), y0 = cvFloor(y);
    const float fx = x - x0, fy = y - y0;
    int xa = x0, xb = x0 + 1, ya = y0, yb = y0 + 1;
    if (xa < 0 || xb >= image.cols) xa = reflect(xa, image.cols), xb = reflect(xb, image.cols);
    if (ya < 0 || yb >= image.rows) ya = reflect(ya, image.rows), yb = reflect(yb, image.rows);
    const cv::Vec4f* top = image.ptr<cv::Vec4f>(ya);
    const cv::Vec4f* bottom = image.ptr<cv::Vec4f>(yb);
    const cv::Vec4f upper = top[xa] + (top[xb] - top[xa]) * fx;
    const cv::Vec4f lower = bottom[xa] + (bottom[xb] - bottom[xa]) * fx;
    return upper + (lower - upper) * fy;
}

// Where each column falls between the coarse samples: the same on every row.
struct ColumnPlace {
    int cell;
    float weight;
};
std::vector<ColumnPlace> column_places(int width) {
    std::vector<ColumnPlace> places(width);
    for (int x = 0; x < width; ++x) {
        const float u = pixel_to_coarse(x);
        places[x] = {static_cast<int>(u), u - static_cast<int>(u)};
    }
    return places;
}

// Red, green and blue each from their own place, brightened; alpha follows green.
void resample_row(const cv::Mat& image, const ColumnPlace* places, const float* field_row, cv::Vec4f* px) {
    for (int x = 0; x < image.cols; ++x) {
        const int i = places[x].cell;
        const float w = places[x].weight;
        float f[kFieldChannels];
        for (int k = 0; k < kFieldChannels; ++k) {
            const float* at = field_row + i * kFieldChannels + k;
            f[k] = at[0] + w * (at[kFieldChannels] - at[0]);
        }
        const cv::Vec4f green = sample(image, f[2], f[3]);
        const bool tca = f[0] != f[2] || f[1] != f[3] || f[4] != f[2] || f[5] != f[3];
        const float red = tca ? sample(image, f[0], f[1])[0] : green[0];
        const float blue = tca ? sample(image, f[4], f[5])[2] : green[2];
        px[x] = {pixel::clamp01(red * f[6]), pixel::clamp01(green[1] * f[6]), pixel::clamp01(blue * f[6]), green[3]};
    }
}

void resample(const cv::Mat& image, cv::Mat& out, const cv::Mat& field) {
    out.create(image.size(), image.type());
    const std::vector<ColumnPlace> places = column_places(image.cols);
    cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range& rows) {
        std::vector<float> line(field.cols * kFieldChannels);
        for (int y = rows.start; y < rows.end; ++y) {
            const float v = pixel_to_coarse(y);
            const int j = static_cast<int>(v);
            const float w = v - j;
            const float* above = field.ptr<float>(j);
            const float* below = field.ptr<float>(j + 1);
            for (size_t k = 0; k < line.size(); ++k) line[k] = above[k] + w * (below[k] - above[k]);
            resample_row(image, places.data(), line.data(), out.ptr<cv::Vec4f>(y));
        }
    });
}

}  // namespace

void apply_profile(const Profile& profile, cv::Mat& image, cv::Mat& spare) {
    if (image.empty() || !profile.found()) return;
    const Match& match = profile.match();
    // The model is relative to the frame, so a reduced working image needs
    // nothing more than its own size here.
    lfModifier modifier(match.lens, match.crop_factor, image.cols, image.rows);
    const int active =
        modifier.Initialize(match.lens, LF_PF_F32, profile.shot().focal_length, profile.shot().aperture,
                            kUnknownDistance, kAutomaticScale, match.lens->Type, kCorrections, false);
    if (!(active & (LF_MODIFY_VIGNETTING | LF_MODIFY_DISTORTION | LF_MODIFY_TCA | LF_MODIFY_SCALE))) return;
    resample(image, spare, coarse_field(modifier, image.size(), active & LF_MODIFY_VIGNETTING));
    cv::swap(image, spare);
}

}  // namespace vornalix::lens

#include "auto/analysis_image.h"
#include "auto/autocrop.h"
#include "auto/camera_curve.h"
#include "auto/histogram.h"
#include "auto/suggestions.h"
#include "auto/white_balance.h"
#include "image/thumbnail.h"
#include "pipeline/tone_math.h"
#include "support/context_access.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using vornalix::ImageBuffer;

// A uniform 8-bit RGB image as the loaded source.
ImageBuffer uniform(int width, int height, int value) {
    return ImageBuffer(cv::Mat(height, width, CV_8UC3, cv::Scalar(value, value, value)));
}

// Light sky over dark ground, the boundary falling to the right by `degrees`.
ImageBuffer horizon(int width, int height, double degrees) {
    cv::Mat rgb(height, width, CV_8UC3, cv::Scalar(210, 210, 210));
    const int half_drop = static_cast<int>(std::tan(degrees * CV_PI / 180.0) * width / 2);
    const std::vector<cv::Point> ground{
        {0, height / 2 - half_drop}, {width - 1, height / 2 + half_drop}, {width - 1, height - 1}, {0, height - 1}};
    cv::fillConvexPoly(rgb, ground, cv::Scalar(50, 50, 50));
    return ImageBuffer(rgb);
}

// A bright panel on black whose edges run `inset` pixels inside the border:
// the interest lies all around the picture, near its edges.
cv::Mat panel_float(int width, int height, int inset) {
    cv::Mat rgb(height, width, CV_8UC3, cv::Scalar(0, 0, 0));
    rgb(cv::Rect(inset, inset, width - 2 * inset, height - 2 * inset)).setTo(cv::Scalar::all(230));
    return ImageBuffer(rgb).to_float();
}

std::vector<float> enhance(VornalixContext* ctx) {
    std::vector<float> out(32, -123.0f);
    EXPECT_EQ(vornalix_auto_enhance(ctx, out.data()), 0);
    return out;
}

float straighten(const ImageBuffer& image) {
    auto ctx = make_context();
    ctx->pipeline.source = image;
    float degrees = 99.0f;
    EXPECT_EQ(vornalix_auto_straighten(ctx.get(), &degrees), 0);
    return degrees;
}

}  // namespace

TEST(AnalysisImage, ReducedSizeHistogramBinsAndMedianRule) {
    using vornalix::analysis::reduced_size;
    EXPECT_EQ(reduced_size({6000, 4000}, 800), cv::Size(800, 533));
    EXPECT_EQ(reduced_size({1, 4096}, 512), cv::Size(1, 2048));  // bounded, not 512 x 2,097,152
    EXPECT_TRUE(reduced_size({0, 0}, 512).empty());

    namespace h = vornalix::histogram;
    // Half rounds up; NaN falls in the first bin, infinity in the last.
    EXPECT_EQ(cv::Vec3i(h::bin(0.5f / 255.0f), h::bin(std::numeric_limits<float>::quiet_NaN()),
                        h::bin(std::numeric_limits<float>::infinity())), cv::Vec3i(1, 0, 255));

    h::Counts counts{};
    EXPECT_FLOAT_EQ(h::median(counts.data()), 0.5f);  // empty
    counts[10] = 3, counts[200] = 4;  // N = 7, half = 3: bin 10 already reaches it
    EXPECT_FLOAT_EQ(h::median(counts.data()), 10.0f / 255.0f);
    counts[10] = 2;
    EXPECT_FLOAT_EQ(h::median(counts.data()), 200.0f / 255.0f);
}

TEST(AutoEnhance, FiguresForUniformAndCheckerboardImagesRepeatedCallsChangeNothing) {
    auto ctx = make_context();
    ctx->pipeline.source = uniform(64, 48, 0);
    const float black[16] = {1, 0, 15, 0, 25, 0, 5, 6500, 0, 0, 8, 0, 0, 0, 20, 1};
    std::vector<float> out = enhance(ctx.get());
    for (int i = 0; i < 32; ++i) EXPECT_FLOAT_EQ(out[i], i < 16 ? black[i] : 0.0f) << "entry " << i;

    ctx->pipeline.source = uniform(64, 48, 255);
    out = enhance(ctx.get());
    EXPECT_NEAR(out[0], 0.35f * std::log2(0.42f), 1e-5f);
    EXPECT_FLOAT_EQ(out[3], -40.0f);
    int n = 0;  // the camera's curve is refused for a standard image
    EXPECT_EQ(vornalix_camera_curve(ctx.get(), 0, out.data(), 16, &n), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "the camera's look needs a RAW file");

    // A sharp checkerboard, edges everywhere and a spread of 0.5 (its shadows are
    // pinned by the command-line run).
    cv::Mat rgb(256, 512, CV_8UC3);
    rgb.forEach<cv::Vec3b>([](cv::Vec3b& v, const int* p) { v = cv::Vec3b::all(((p[1] / 8 + p[0] / 8) % 2) * 255); });
    ctx->pipeline.source = ImageBuffer(rgb);
    out = enhance(ctx.get());
    EXPECT_EQ(cv::Vec2f(out[2], out[14]), cv::Vec2f(-20, 0));  // contrast at its bound; detail, not noise
    // The decoder's image, when there is one, is the one analysed.
    ctx->decoder.image = uniform(32, 32, 0);
    float ev = 0;
    EXPECT_EQ(vornalix_auto_exposure(ctx.get(), &ev), 0);
    EXPECT_FLOAT_EQ(ev, 1.0f);

    // Repeated calls agree, and the suggestions are only answers: settings, flag and picture stay.
    ctx = make_context();
    ctx->pipeline.source = horizon(120, 80, 3.0);
    vornalix_set_exposure(ctx.get(), 0.7f);
    ASSERT_EQ(vornalix_process(ctx.get()), 0);
    const cv::Mat before = ctx->pipeline.result.mat.clone();

    EXPECT_EQ(enhance(ctx.get()), enhance(ctx.get()));
    float t = 0, tint = 1, deg = 0, x, y, w, h;
    EXPECT_EQ(vornalix_auto_white_balance(ctx.get(), &t, &tint) + vornalix_auto_exposure(ctx.get(), &ev) +
                  vornalix_auto_straighten(ctx.get(), &deg) + vornalix_auto_crop(ctx.get(), &x, &y, &w, &h), 0);
    EXPECT_EQ(t, 6500.0f);  // grey: no cast
    EXPECT_TRUE(ctx->params.exposure == 0.7f && ctx->processed && cv::norm(before, ctx->pipeline.result.mat, cv::NORM_INF) == 0);
}

TEST(AutoAnalyses, NullPointersNoImageAndThinImages) {
    auto ctx = make_context();
    float v[32], a = 7, b = 7, c = 7, d = 7;
    std::fill_n(v, 32, 7.0f);
    EXPECT_EQ(vornalix_auto_enhance(nullptr, v), -1);
    EXPECT_EQ(vornalix_auto_crop(ctx.get(), &a, &b, nullptr, &d), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "");

    EXPECT_EQ(vornalix_auto_enhance(ctx.get(), v), -1);
    EXPECT_EQ(std::count(v, v + 32, 7.0f), 32);
    int n = 0;
    EXPECT_EQ(vornalix_auto_white_balance(ctx.get(), &a, &b) + vornalix_auto_exposure(ctx.get(), &a) +
                  vornalix_auto_straighten(ctx.get(), &a) + vornalix_auto_crop(ctx.get(), &a, &b, &c, &d) +
                  vornalix_measure_white_balance(ctx.get(), &a, &b) + vornalix_camera_curve(ctx.get(), 0, v, 16, &n), -6);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "no image loaded");
    EXPECT_EQ(a + b + c + d, 28.0f);

    // 1 x 4096 would be enlarged to 512 x 2,097,152 (tens of GiB of floats)
    // and 10000 x 1 would round to zero rows; both answer normally.
    for (cv::Size size : {cv::Size(1, 4096), cv::Size(10000, 1)}) {
        auto ctx = make_context();
        ctx->pipeline.source = uniform(size.width, size.height, 0);
        float ev, deg, x, y, w, h;
        EXPECT_FLOAT_EQ(enhance(ctx.get())[0], 1.0f);
        EXPECT_EQ(vornalix_auto_exposure(ctx.get(), &ev) + vornalix_auto_straighten(ctx.get(), &deg) +
                      vornalix_auto_crop(ctx.get(), &x, &y, &w, &h), 0) << vornalix_last_error(ctx.get());
        EXPECT_TRUE(deg == 0 && x >= 0.0f && x + w <= 1.0f && y + h <= 1.0f) << deg << " " << x << " " << y << " " << w << " " << h;
    }
}

// A horizon falling to the right is pinned by the command-line run.
TEST(AutoStraighten, RisingHorizonVerticalLinesAndTheCropSearch) {
    EXPECT_NEAR(straighten(horizon(400, 160, -4.0)), 4.0f, 0.3f);

    cv::Mat bars(160, 400, CV_8UC3, cv::Scalar(200, 200, 200));
    for (int x = 40; x < 400; x += 80) cv::rectangle(bars, {x, 0, 20, 160}, cv::Scalar(30, 30, 30), cv::FILLED);
    EXPECT_EQ(straighten(ImageBuffer(bars)), 0.0f);

    const auto crop = [](const cv::Mat& image, float aspect, float margin, cv::Vec4f r = {}) {
        return vornalix::autocrop::compute_auto_crop(image, aspect, margin, r[0], r[1], r[2], r[3]), r;
    };
    EXPECT_EQ(crop(cv::Mat(), 1.5f, 0.02f), cv::Vec4f(0, 0, 1, 1));  // nothing to search: the whole picture
    // 512 x 341, margins 10 and 6: scale 1.0 (511 x 341) does not fit; with
    // the interest all around the picture scale 0.95 wins, 484 x 323, whose
    // only position is (10, 6).
    const cv::Mat landscape = panel_float(512, 341, 14);
    EXPECT_LT(cv::norm(crop(landscape, 1.5f, 0.02f) - cv::Vec4f(10.0f / 512, 6.0f / 341, 484.0f / 512, 323.0f / 341)), 1e-6);
    // Without a margin the full-width window at scale 1.0 wins; aspect 0 means 1.5.
    EXPECT_EQ(crop(landscape, 0.0f, 0.0f), cv::Vec4f(0, 0, 511.0f / 512, 1));
    // Portrait: width s * W, height cw / 1.5.
    const cv::Vec4f portrait = crop(panel_float(341, 512, 14), 1.5f, 0.02f);
    EXPECT_LT(cv::norm(cv::Vec2f(portrait[2], portrait[3]) - cv::Vec2f(323.0f / 341, 215.0f / 512)), 1e-6);
}

// A cast of T kelvin is one the white-balance stage removes at T: a grey chart
// cast so measures back T, and a real photograph (the camera's JPEG inside
// the test RAW file) cast and then corrected by the measurement measures as
// it did uncast, each within 300 K.
TEST(MeasuredWhiteBalance, CastsComeBackToNeutral) {
    namespace a = vornalix::analysis;
    using vornalix::tone::white_balance_multipliers;
    const auto scaled = [](const cv::Mat& rgb, cv::Scalar m) { return cv::Mat(cv::min(rgb.mul(m), 1.0f)); };
    cv::Mat photo, steps(1, 16, CV_32FC4);
    for (int x = 0; x < 16; ++x) steps.at<cv::Vec4f>(0, x) = cv::Vec4f::all(0.05f + x * 0.055f);
    cv::cvtColor(cv::imdecode(vornalix::read_raw_thumbnail(VORNALIX_TEST_CR2).jpeg, cv::IMREAD_COLOR), photo,
                 cv::COLOR_BGR2RGBA);
    cv::resize(photo, photo, cv::Size(384, 256), 0, 0, cv::INTER_AREA);
    photo.convertTo(photo, CV_32F, 1.0 / 255);
    for (const cv::Mat& picture : {steps, photo}) {
        const a::WhiteBalance plain = a::measure_white_balance(picture);
        for (float kelvin : {3000.0f, 9000.0f}) {
            // The stage's multipliers inverted, scaled so none exceeds 1.
            const vornalix::tone::Rgb m = white_balance_multipliers(kelvin, 0.0f);
            const double low = std::min({m.r, m.g, m.b});
            const cv::Mat cast = scaled(picture, cv::Scalar(low / m.r, low / m.g, low / m.b, 1.0));
            const a::WhiteBalance wb = a::measure_white_balance(cast);
            EXPECT_TRUE(picture.cols != 16 || std::abs(wb.temperature - kelvin) < 300.0f) << wb.temperature;
            const vornalix::tone::Rgb undo = white_balance_multipliers(wb.temperature, wb.tint);
            const a::WhiteBalance back = a::measure_white_balance(scaled(cast, cv::Scalar(undo.r, undo.g, undo.b, 1.0)));
            EXPECT_NEAR(back.temperature, plain.temperature, 300.0f) << kelvin;
            EXPECT_NEAR(back.tint, plain.tint, 15.0f) << kelvin;
        }
    }
    EXPECT_NEAR(a::measure_white_balance(steps).temperature, 6500.0f, 1.0f);
}

// The camera's picture: the development through a known curve, clipped above
// 0.95 and cropped. Off the clipped part the fit follows the curve; the spline
// through its points never falls.
TEST(CameraCurve, FitsAKnownCurveOnMatchedDistributions) {
    cv::Mat developed(200, 300, CV_32FC4), camera;
    cv::RNG(3).fill(developed, cv::RNG::UNIFORM, 0.0f, 1.0f);
    cv::cvtColor(developed, developed, cv::COLOR_RGBA2GRAY);
    cv::cvtColor(developed, developed, cv::COLOR_GRAY2RGBA);
    cv::pow(developed(cv::Rect(20, 10, 200, 150)), 0.5, camera);
    camera = cv::min(cv::Mat(camera * 1.1), 1.0);
    const vornalix::analysis::CameraLook look = vornalix::analysis::fit_camera_look(developed, camera);
    const vornalix::analysis::CameraCurves& curves = look.curves;
    const vornalix::CurvePoints& curve = curves[0];
    // Grey: the colour curves only mend the spline's departures, alike; no saturation.
    EXPECT_EQ(look.saturation, 0.0f);
    EXPECT_TRUE(curves[1].points == curves[2].points && curves[1].points == curves[3].points);
    ASSERT_EQ(curve.points.size(), 16u);
    EXPECT_EQ(curve.points.back(), std::make_pair(1.0f, 1.0f));
    for (const auto& [x, y] : curve.points) EXPECT_TRUE(x >= 0.7f || std::abs(y - 1.1f * std::sqrt(x)) < 0.03f) << x;
    std::vector<float> lut;
    vornalix::Pipeline::build_lut(curve, lut);
    EXPECT_TRUE(std::is_sorted(lut.begin(), lut.end()));
}

// The command-line program, run as a separate process.

#include "support/cli_run.h"
#include "support/exif_fixtures.h"
#include "support/temp_dir.h"
#include "vornalix.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <string>
#include <vector>

using vornalix::testing::CliRun;
using vornalix::testing::quote;
using vornalix::testing::run_cli;

namespace {

// Writes an 8-bit RGB picture as a PNG (OpenCV writes B, G, R).
void write_rgb_png(const std::string& path, const cv::Mat& rgb) {
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    ASSERT_TRUE(cv::imwrite(path, bgr));
}

// Light sky over dark ground, the horizon falling to the right by `degrees`.
cv::Mat tilted_horizon(int width, int height, double degrees) {
    cv::Mat rgb(height, width, CV_8UC3, cv::Scalar(210, 210, 210));
    const int drop = static_cast<int>(std::tan(degrees * CV_PI / 180.0) * width / 2);
    const std::vector<cv::Point> ground{
        {0, height / 2 - drop}, {width - 1, height / 2 + drop}, {width - 1, height - 1}, {0, height - 1}};
    cv::fillPoly(rgb, std::vector<std::vector<cv::Point>>{ground}, cv::Scalar(50, 50, 50));
    return rgb;
}

float straighten_suggestion_of(const std::string& path) {
    VornalixContext* ctx = vornalix_create_context();
    float degrees = 99.0f;
    EXPECT_EQ(vornalix_load_arw(ctx, path.c_str(), 1), 0) << vornalix_last_error(ctx);
    EXPECT_EQ(vornalix_auto_straighten(ctx, &degrees), 0);
    vornalix_destroy_context(ctx);
    return degrees;
}

}  // namespace

// A RAW file goes through develop, at a --scale, in the camera-metadata test.
TEST(Cli, DevelopsWithEditsToEachFormat) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("in put.jpg"), out = dir.file("out.png"), deep = dir.file("deep.tiff");
    ASSERT_TRUE(cv::imwrite(in, cv::Mat(60, 80, CV_8UC3, cv::Scalar(40, 90, 160))));
    const CliRun r = run_cli("develop " + quote(in) + " -o " + quote(out) +
                             " --exposure 1 --contrast=20 --curve master 0,0,0.5,0.6,1,1 --hsl blue 10 20 -10"
                             " --split-highlights 40 30 --split-balance 10 --crop 0 0 1 1 --flip-h");
    ASSERT_EQ(r.status, 0) << r.output;
    const cv::Mat written = cv::imread(out, cv::IMREAD_COLOR);
    ASSERT_EQ(written.size(), cv::Size(80, 60));
    EXPECT_GT(written.at<cv::Vec3b>(30, 40)[2], 160);  // a stop brighter
    ASSERT_EQ(run_cli("develop " + quote(in) + " --bits 16 -o " + quote(deep)).status, 0);
    const cv::Mat sixteen = cv::imread(deep, cv::IMREAD_UNCHANGED);
    EXPECT_EQ(sixteen.depth(), CV_16U);
    EXPECT_EQ(sixteen.size(), cv::Size(80, 60));
}

TEST(Cli, FailuresPrintTheLibraryMessageAndExitNonZero) {
    vornalix::testing::TempDir dir;
    CliRun r = run_cli("develop " + quote(dir.file("missing.jpg")) + " -o " + quote(dir.file("o.png")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("OpenCV could not read: " + dir.file("missing.jpg")), std::string::npos) << r.output;
    r = run_cli("develop " + quote(dir.file("missing.cr2")) + " -o " + quote(dir.file("o.png")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("LibRaw open_file failed: "), std::string::npos) << r.output;
    for (const char* bad : {"develop x.jpg -o y.png --exposure abc", "develop x.jpg -o y.png --hsl pink 1 2 3",
                            "nosuchcommand"})
        EXPECT_EQ(run_cli(bad).status, 2) << bad;
    // An unwritable output: the load works, the write fails.
    const std::string in = dir.file("in.png");
    ASSERT_TRUE(cv::imwrite(in, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(100))));
    EXPECT_EQ(run_cli("develop " + quote(in) + " -o " + quote(dir.file("no/such/dir/o.png"))).status, 1);
    EXPECT_EQ(run_cli("develop " + quote(in) + " -o " + quote(dir.file("o.gif"))).status, 2);
    EXPECT_NE(run_cli("develop --help").output.find("--sharpening-threshold"), std::string::npos);
    EXPECT_NE(run_cli("--version").output.find("1.0.0"), std::string::npos);
}

TEST(Cli, InfoPrintsTheExifRecordAsJson) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("gps.jpg");
    fixtures::ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Say \"cheese\"").short_value(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, 400)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, 1, 250)
        .ascii(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, "S")
        .rationals(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {30, 1}, {0, 1}});
    fixtures::write_bytes(in, fixtures::jpeg_with_exif(b.block()));
    const CliRun r = run_cli("info " + quote(in));
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* field : {"\"make\": \"Say \\\"cheese\\\"\",", "\"iso\": 400,", "\"exposure_time\": 0.004,",
                              "\"lens\": \"\",", "\"gps_latitude\": -48.5,", "\"gps_longitude\": null\n"})
        EXPECT_NE(r.output.find(field), std::string::npos) << field << "\n" << r.output;
    EXPECT_EQ(run_cli("info").status, 2);
    EXPECT_EQ(run_cli("info " + quote(dir.file("missing.jpg"))).status, 1);
}

// The camera's metadata reaches a developed file only on request.
TEST(Cli, DevelopKeepsTheCameraMetadataOnRequest) {
    vornalix::testing::TempDir dir;
    const std::string kept = dir.file("kept.jpg"), camera = dir.file("camera.jpg"), plain = dir.file("plain.jpg");
    ASSERT_EQ(run_cli(std::string("develop ") + VORNALIX_TEST_CR2 + " --scale 4 --keep-exif -o " + quote(kept)).status, 0);
    EXPECT_LT(cv::imread(kept).cols, 1000);  // a quarter, well inside the 2000-pixel bound for RAW files
    fixtures::ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker");
    fixtures::write_bytes(camera, fixtures::jpeg_with_exif(b.block()));
    ASSERT_EQ(run_cli("develop " + quote(camera) + " -o " + quote(plain)).status, 0);
    const CliRun r = run_cli("info " + quote(kept));
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* field : {"\"model\": \"Canon EOS 30D\",", "\"iso\": 640,", "\"datetime\": \"2009:07:21 13:03:20\","})
        EXPECT_NE(r.output.find(field), std::string::npos) << field << "\n" << r.output;
    EXPECT_NE(run_cli("info " + quote(plain)).output.find("\"make\": \"\","), std::string::npos);
}

TEST(Cli, ThumbAndPhashWorkThroughManyFiles) {
    vornalix::testing::TempDir dir;
    const std::string png = dir.file("shot.png"), bmp = dir.file("shot.bmp"), folder = dir.file("thumbs");
    cv::Mat img(90, 300, CV_8UC3, cv::Scalar(40, 90, 160));
    img(cv::Rect(0, 0, 150, 45)).setTo(cv::Scalar(250, 250, 250));
    ASSERT_TRUE(cv::imwrite(png, img));
    ASSERT_TRUE(cv::imwrite(bmp, img));

    // Two inputs named alike both land in the folder; a failure is reported
    // and makes the exit status non-zero without stopping the others.
    CliRun r = run_cli("thumb " + quote(png) + " " + quote(bmp) + " " + quote(dir.file("gone.tif")) + " -o " +
                       quote(folder));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("gone.tif: cannot read the file"), std::string::npos) << r.output;
    EXPECT_EQ(cv::imread(folder + "/shot.jpg").size(), cv::Size(160, 48));
    EXPECT_EQ(cv::imread(folder + "/shot-2.jpg").size(), cv::Size(160, 48));

    r = run_cli("phash " + quote(png));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(r.output.size(), 17u) << r.output;  // 16 hex digits and a newline
    const std::string hash = r.output.substr(0, 16);
    EXPECT_NE(run_cli("phash " + quote(png) + " " + quote(bmp)).output.find(hash + "  " + png + "\n"),
              std::string::npos);
    EXPECT_EQ(run_cli("phash --distance " + quote(bmp) + " " + hash).output, "0\n");
    EXPECT_EQ(run_cli("phash --distance 0 ffff").output, "16\n");
}

// The tilted scene is levelled by --auto-straighten; --auto-crop cuts the
// rectangle the library suggests for it.
TEST(Cli, AutoStraightenLevelsATiltedHorizon) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("tilted.png"), out = dir.file("level.png"), cropped = dir.file("cropped.png");
    cv::Mat rgb = tilted_horizon(400, 160, 5.0);
    cv::circle(rgb, {300, 40}, 20, cv::Scalar(250, 240, 120), cv::FILLED);
    write_rgb_png(in, rgb);
    ASSERT_NEAR(straighten_suggestion_of(in), -5.0f, 0.3f);
    const CliRun r = run_cli("develop " + quote(in) + " --auto-straighten -o " + quote(out));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NEAR(straighten_suggestion_of(out), 0.0f, 0.5f);

    VornalixContext* ctx = vornalix_create_context();
    float x, y, w, h;
    ASSERT_EQ(vornalix_load_arw(ctx, in.c_str(), 1), 0);
    ASSERT_EQ(vornalix_auto_crop(ctx, &x, &y, &w, &h), 0);
    vornalix_destroy_context(ctx);
    ASSERT_EQ(run_cli("develop " + quote(in) + " --auto-crop -o " + quote(cropped)).status, 0);
    const cv::Size size = cv::imread(cropped).size();
    EXPECT_EQ(size, cv::Size(static_cast<int>(w * 400), static_cast<int>(h * 160)));
    EXPECT_LT(size.width, 400);
}

TEST(Cli, AutoAppliesSuggestionsButExplicitSettingsWin) {
    // A sharp checkerboard of black and light grey, exactly 512 wide so that
    // the analysis sees it unresampled. Its suggestions: exposure 1, contrast
    // -20, shadows 25, blacks 5, temperature 6500, vibrance 8, colour noise
    // reduction 1, everything else 0.
    cv::Mat rgb(64, 512, CV_8UC3);
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x) rgb.at<cv::Vec3b>(y, x) = cv::Vec3b::all(((x / 8 + y / 8) % 2) * 200);
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("checker.png");
    write_rgb_png(in, rgb);
    const auto develop = [&](const std::string& name, const std::string& flags) {
        const CliRun r = run_cli("develop " + quote(in) + " -o " + quote(dir.file(name)) + " " + flags);
        EXPECT_EQ(r.status, 0) << r.output;
        return cv::imread(dir.file(name), cv::IMREAD_UNCHANGED);
    };
    // The command line's contrast wins over the suggested -20; the sharpening
    // radius and threshold keep their defaults (a suggestion of 0 would
    // switch sharpening off).
    const cv::Mat automatic = develop("auto.png", "--auto --contrast 10 --sharpening 40");
    const cv::Mat explicit_settings =
        develop("explicit.png",
                "--exposure 1 --contrast 10 --shadows 25 --blacks 5 --temperature 6500 --vibrance 8 "
                "--nr-color 1 --sharpening 40");
    const cv::Mat plain = develop("plain.png", "--contrast 10 --sharpening 40");
    ASSERT_FALSE(automatic.empty());
    ASSERT_EQ(automatic.size(), explicit_settings.size());
    EXPECT_EQ(cv::norm(automatic, explicit_settings, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(automatic, plain, cv::NORM_INF), 20.0);
}

TEST(Cli, CutoutWritesTheSubjectWithTransparentBackground) {
    cv::Mat rgb(120, 160, CV_8UC3);
    cv::RNG(5).fill(rgb, cv::RNG::UNIFORM, cv::Scalar(20, 40, 10), cv::Scalar(90, 110, 70));
    cv::circle(rgb, {110, 50}, 28, cv::Scalar(240, 225, 200), cv::FILLED);
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("subject.png"), out = dir.file("cut.png");
    write_rgb_png(in, rgb);
    const CliRun r = run_cli("cutout " + quote(in) + " -o " + quote(out) + " --at 0.69,0.42");
    ASSERT_EQ(r.status, 0) << r.output;
    const cv::Mat cut = cv::imread(out, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(cut.type(), CV_8UC4);
    EXPECT_EQ(cut.at<cv::Vec4b>(50, 110)[3], 255);
    EXPECT_EQ(cut.at<cv::Vec4b>(50, 110)[2], 240);  // the subject's own colour (B, G, R, A)
    EXPECT_EQ(cut.at<cv::Vec4b>(110, 10)[3], 0);
    const CliRun none = run_cli("cutout " + quote(in) + " -o " + quote(dir.file("none.png")) + " --at 5,5");
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.output.find("GrabCut failed"), std::string::npos) << none.output;
}

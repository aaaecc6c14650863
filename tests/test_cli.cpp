// The command-line program, run as a separate process.

#include "support/cli_run.h"
#include "support/dng_writer.h"
#include "support/exif_fixtures.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <tuple>

using fixtures::read_bytes;
using vornalix::testing::CliRun;
using vornalix::testing::quote;
using vornalix::testing::run_cli;
namespace fs = std::filesystem;

namespace {

// A small noisy photograph, different for each seed (its height too).
void write_photo(const std::string& path, int seed) {
    cv::Mat img(36 + seed, 48, CV_8UC3);
    cv::RNG(seed).fill(img, cv::RNG::UNIFORM, 30, 220);
    ASSERT_TRUE(cv::imwrite(path, img));
}

// The value of a top-level number in a settings document ("key": value).
float value_of(const std::string& document, const std::string& key) {
    const size_t at = document.find("\"" + key + "\": ");
    EXPECT_NE(at, std::string::npos) << key;
    return at == std::string::npos ? 0.0f : std::stof(document.substr(at + key.size() + 4));
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// Edit flags reach the picture (each one's parsing is the settings table's
// test); failures name their cause with status 1, unusable arguments give 2;
// no output replaces an input, nor an existing file without --overwrite.
TEST(Cli, DevelopsWithEditsAndReportsFailures) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("in put.png"), out = dir.file("out.png"), missing = dir.file("missing.jpg");
    ASSERT_TRUE(cv::imwrite(in, cv::Mat(60, 80, CV_8UC3, cv::Scalar(40, 90, 160))));
    ASSERT_EQ(run_cli("develop " + quote(in) + " -o " + quote(out) + " --exposure=1 --crop 0 0 0.5 1").status, 0);
    const cv::Mat written = cv::imread(out, cv::IMREAD_COLOR);
    ASSERT_EQ(written.size(), cv::Size(40, 60));
    EXPECT_GT(written.at<cv::Vec3b>(30, 20)[2], 160);  // a stop brighter
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dir.file("raw.dng"), vornalix::testing::make_test_scene(96, 64)));
    ASSERT_EQ(run_cli("develop " + quote(dir.file("raw.dng")) + " --scale 2 --overwrite -o " + quote(out)).status, 0);
    EXPECT_EQ(cv::imread(out).size(), cv::Size(48, 32));  // half size

    const std::string to = " -o " + quote(dir.file("o.png")), from = "develop " + quote(in);
    const std::tuple<std::string, int, std::string> cases[] = {
        {"develop " + quote(missing) + to, 1, missing + ": No such file or directory"},
        {"develop " + quote(dir.path().string()) + to, 1, ": Is a directory"},
        {"develop -" + to, 1, "standard input"},
        {from + " -o " + quote(dir.file("no/such/o.png")), 1, "no/such: No such file or directory"},
        {from + " -o " + quote(in + "/o.png"), 1, "in put.png: Not a directory"},
        {from + " --overwrite -o " + quote(in), 1, "is an input"},
        {from + " -o " + quote(out), 1, "exists (--overwrite replaces it)"},
        {from + " -o " + quote(dir.file("o.gif")), 2, "unsupported output format"},
        {from + to + " --exposure abc", 2, "--exposure"}, {"nosuchcommand", 2, "unknown command"},
        {from + to + " --profile rec2020", 2, "--profile must be"},
        {"cutout " + quote(in) + " -o " + quote(dir.file("c.jpg")), 2, ".png or .webp"},
        {"cutout " + quote(in) + " -o " + quote(dir.file("c.png")) + " --at 1.5,0.5", 2, "each in 0..1"},
        {"thumb --version", 0, "vornalix "}};
    for (const auto& [args, status, message] : cases) {
        const CliRun r = run_cli(args);
        EXPECT_EQ(r.status, status) << args;
        EXPECT_TRUE(contains(r.output, message)) << args << "\n" << r.output;
    }
}

// The camera's metadata reaches a developed file unless stripped; info prints
// the record as JSON, an array of them for several files.
TEST(Cli, DevelopKeepsTheCameraMetadataUnlessStripped) {
    vornalix::testing::TempDir dir;
    const std::string camera = dir.file("camera.jpg"), kept = dir.file("kept.jpg"), plain = dir.file("plain.jpg");
    fixtures::ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Say \"cheese\"").ascii(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, "S")
        .rationals(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {30, 1}, {0, 1}});
    fixtures::write_bytes(camera, fixtures::jpeg_with_exif(b.block()));
    ASSERT_EQ(run_cli("develop " + quote(camera) + " -o " + quote(kept)).status, 0);
    ASSERT_EQ(run_cli("develop " + quote(camera) + " --strip-exif -o " + quote(plain)).status, 0);
    const CliRun r = run_cli("info " + quote(kept));
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* field : {"\"make\": \"Say \\\"cheese\\\"\",", "\"gps_latitude\": -48.5,", "\"gps_longitude\": null\n"})
        EXPECT_TRUE(contains(r.output, field)) << field << "\n" << r.output;
    const std::string both = run_cli("info " + quote(kept) + " " + quote(plain)).output;
    EXPECT_EQ(both.substr(0, 5) + both.substr(both.size() - 7), "[\n  {\n  }\n]\n") << both;
    EXPECT_TRUE(contains(both, "},\n  {\n    \"make\": \"\",")) << both;
}

// Two inputs named alike both land in the folder; a failure is reported and
// makes the exit status non-zero without stopping the others; a second run
// keeps what exists; a folder stands for its image files.
TEST(Cli, ThumbAndPhashWorkThroughManyFiles) {
    vornalix::testing::TempDir dir;
    const std::string png = dir.file("shot.png"), bmp = dir.file("shot.bmp"), folder = dir.file("thumbs");
    const cv::Mat img(90, 300, CV_8UC3, cv::Scalar(40, 90, 160));
    ASSERT_TRUE(cv::imwrite(png, img) && cv::imwrite(bmp, img));
    const std::string thumb = "thumb " + quote(png) + " " + quote(bmp) + " " + quote(dir.file("gone.tif")) + " -o " +
                              quote(folder);
    CliRun r = run_cli(thumb);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "gone.tif: No such file or directory")) << r.output;
    for (const char* name : {"/shot.png.jpg", "/shot.bmp.jpg"}) EXPECT_EQ(cv::imread(folder + name).size(), cv::Size(160, 48));
    EXPECT_TRUE(contains(run_cli(thumb).output, "3 files, 0 done, 2 skipped, 1 failed")) << r.output;

    r = run_cli("phash " + quote(png));
    ASSERT_EQ(r.output.size(), 17u) << r.output;  // 16 hex digits and a newline
    EXPECT_EQ(run_cli("phash --distance " + quote(bmp) + " " + r.output.substr(0, 16)).output, "0\n");
    EXPECT_EQ(run_cli("phash --distance 0 ffff").output, "16\n");
    const std::string hashes = run_cli("phash -q " + quote(dir.path().string())).output;
    EXPECT_EQ(hashes.substr(16), "  " + bmp + "\n" + r.output.substr(0, 16) + "  " + png + "\n");
    const std::string deep = run_cli("phash -q --recursive " + quote(dir.path().string())).output;
    EXPECT_EQ(std::count(deep.begin(), deep.end(), '\n'), 4) << deep;  // the thumbnails too
}

// Black and light grey squares, 512 wide so the analysis sees them unresampled.
// Suggested: exposure 1, contrast -20, shadows 25, blacks 5, temperature 6500,
// vibrance 8, colour noise reduction 1, everything else 0. A horizon falling
// to the right by 5 degrees is levelled by a rotation of +5.
TEST(Cli, AutoFlagsApplySuggestionsButExplicitSettingsWin) {
    cv::Mat checker(64, 512, CV_8UC3), tilted(160, 400, CV_8UC3, cv::Scalar::all(210));
    checker.forEach<cv::Vec3b>([](cv::Vec3b& v, const int* p) { v = cv::Vec3b::all(((p[1] / 8 + p[0] / 8) % 2) * 200); });
    const int drop = static_cast<int>(std::tan(5.0 * CV_PI / 180.0) * 200);
    cv::fillPoly(tilted, std::vector<std::vector<cv::Point>>{{{0, 80 - drop}, {399, 80 + drop}, {399, 159}, {0, 159}}},
                 cv::Scalar::all(50));
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("checker.png"), horizon = dir.file("tilted.png");
    ASSERT_TRUE(cv::imwrite(in, checker) && cv::imwrite(horizon, tilted));
    const auto develop = [&](const std::string& name, const std::string& flags) {
        EXPECT_EQ(run_cli("develop " + quote(in) + " -o " + quote(dir.file(name)) + " " + flags).status, 0);
        return cv::imread(dir.file(name), cv::IMREAD_UNCHANGED);
    };
    // The given contrast wins over the suggested -20; the sharpening radius and
    // threshold keep their defaults (a suggested 0 would switch sharpening off).
    const cv::Mat automatic = develop("auto.png", "--auto --contrast 10 --sharpening 40");
    ASSERT_FALSE(automatic.empty());
    EXPECT_EQ(cv::norm(automatic, develop("explicit.png", "--exposure 1 --contrast 10 --shadows 25 --blacks 5 "
                                          "--temperature 6500 --vibrance 8 --nr-color 1 --sharpening 40"),
                       cv::NORM_INF), 0.0);

    const CliRun r = run_cli("settings " + quote(horizon) + " --auto-straighten");
    EXPECT_NEAR(value_of(r.output, "rotation"), 5.0f, 0.3f) << r.output;
    ASSERT_EQ(run_cli("develop " + quote(horizon) + " --auto-crop -o " + quote(dir.file("cropped.png"))).status, 0);
    EXPECT_LT(cv::imread(dir.file("cropped.png")).cols, 400);
}

TEST(Cli, CutoutWritesTheSubjectWithTransparentBackground) {
    cv::Mat rgb(120, 160, CV_8UC3);
    cv::RNG(5).fill(rgb, cv::RNG::UNIFORM, cv::Scalar(10, 40, 20), cv::Scalar(70, 110, 90));
    cv::circle(rgb, {110, 50}, 28, cv::Scalar(200, 225, 240), cv::FILLED);  // B, G, R
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("subject.png"), out = dir.file("cut.png");
    ASSERT_TRUE(cv::imwrite(in, rgb));
    ASSERT_EQ(run_cli("cutout " + quote(in) + " -o " + quote(out) + " --at 0.69,0.42").status, 0);
    const cv::Mat cut = cv::imread(out, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(cut.type(), CV_8UC4);
    EXPECT_EQ(cut.at<cv::Vec4b>(50, 110)[3], 255);
    EXPECT_EQ(cut.at<cv::Vec4b>(50, 110)[2], 240);  // the subject's own colour (B, G, R, A)
    EXPECT_EQ(cut.at<cv::Vec4b>(110, 10)[3], 0);
    ASSERT_EQ(run_cli("cutout " + quote(in) + " -o " + quote(dir.file("cut.webp")) + " --at 0.69,0.42").status, 0);
    EXPECT_EQ(cv::imread(dir.file("cut.webp"), cv::IMREAD_UNCHANGED).at<cv::Vec4b>(110, 10)[3], 0);
    // Edits reach the cut-out, the mask mirrored with the picture.
    ASSERT_EQ(run_cli("cutout " + quote(in) + " -o " + quote(dir.file("flip.png")) + " --at 0.69,0.42 --flip-h").status, 0);
    const cv::Mat flip = cv::imread(dir.file("flip.png"), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(cv::Vec2b(flip.at<cv::Vec4b>(50, 49)[3], flip.at<cv::Vec4b>(50, 110)[3]), cv::Vec2b(255, 0));
}

// A folder's bad files are named and passed over; a RAW+JPEG pair of one shot
// gives two outputs; two workers write the same bytes as one; a second run
// keeps what exists unless told to overwrite; nothing overwrites an input,
// even when writing into the inputs' own folder, and JPEG outputs carry the
// source's camera metadata.
TEST(CliBatch, GoesOnPastBadFilesAndWritesTheSameFilesWithTwoJobs) {
    vornalix::testing::TempDir dir;
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dir.file("IMG_1.dng"), vornalix::testing::make_test_scene(96, 64)));
    write_photo(dir.file("IMG_1.jpg"), 1);
    write_photo(dir.file("IMG_2.jpg"), 2);
    std::ofstream(dir.file("broken.cr2")) << "not a raw file at all";
    fixtures::write_bytes(dir.file("cut.jpg"), fixtures::plain_jpeg(48, 36));
    fs::resize_file(dir.file("cut.jpg"), 40);
    const std::string batch = "batch " + quote(dir.path().string()) + " --format png --auto --exposure 0.5 -o ";
    for (const char* jobs : {"1", "2"}) {
        const CliRun r = run_cli(batch + quote(dir.file(jobs)) + " --jobs " + jobs);
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(contains(r.output, "developed 3 of 5 files (0 skipped)")) << r.output;
        EXPECT_TRUE(contains(r.output.substr(std::min(r.output.find("failed (2):"), r.output.size())), "cut.jpg: "))
            << r.output;
    }
    for (const auto& [again, summary] : {std::pair{"", "0 of 5 files (3 skipped)"}, {" --overwrite", "3 of 5 files (0 skipped)"}})
        EXPECT_TRUE(contains(run_cli(batch + quote(dir.file("1")) + again).output, summary)) << again;
    for (const std::string name : {"IMG_1.dng.png", "IMG_1.jpg.png", "IMG_2.png"})
        EXPECT_EQ(read_bytes(dir.file("1/" + name)), read_bytes(dir.file("2/" + name))) << name;
    EXPECT_EQ(cv::imread(dir.file("1/IMG_2.png")).size(), cv::Size(48, 38));

    fixtures::ExifBuilder exif;
    exif.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Batchmaker");
    const fixtures::Bytes shot = fixtures::jpeg_with_exif(exif.block());
    fixtures::write_bytes(dir.file("shot.jpg"), shot);
    const CliRun r = run_cli("batch " + quote(dir.file("shot.jpg")) + " -o " + quote(dir.path().string()));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(read_bytes(dir.file("shot.jpg")), shot);
    const fixtures::Bytes out = read_bytes(dir.file("shot.jpg.jpg"));
    EXPECT_TRUE(contains(std::string(out.begin(), out.end()), "Batchmaker"));
}

// settings writes the look a develop --settings reproduces; the camera's
// white balance holds unless the document names it; flags win over both; a
// faulty document stops before any output.
TEST(CliBatch, SettingsDocumentsAndWhatWinsOverWhat) {
    vornalix::testing::TempDir dir;
    const std::string in = quote(dir.file("in.png"));
    write_photo(dir.file("in.png"), 6);
    const std::string look = " --contrast 20 --curve red 0,0,0.5,0.6,1,1 --vignette -30";
    CliRun r = run_cli("settings " + in + look + " > " + quote(dir.file("look.json")));
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string develop = "develop " + in + " -o ";
    ASSERT_EQ(run_cli(develop + quote(dir.file("a.png")) + " --settings " + quote(dir.file("look.json"))).status, 0);
    ASSERT_EQ(run_cli(develop + quote(dir.file("b.png")) + look).status, 0);
    EXPECT_EQ(read_bytes(dir.file("a.png")), read_bytes(dir.file("b.png")));

    std::ofstream(dir.file("partial.json")) << R"({"exposure": 0.5, "tint": 12})";
    r = run_cli("settings " + in + " --settings " + quote(dir.file("partial.json")) + " --exposure 2");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(value_of(r.output, "temperature"), 6500.0f);  // not named: as shot
    EXPECT_EQ(value_of(r.output, "tint"), 12.0f);            // named: the document's
    EXPECT_EQ(value_of(r.output, "exposure"), 2.0f);         // the flag wins

    std::ofstream(dir.file("bad.json")) << R"({"exposure": 0.5, "contrast": [1]})";
    r = run_cli("batch " + in + " -o " + quote(dir.file("never")) + " --settings " + quote(dir.file("bad.json")));
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_TRUE(contains(r.output, "'contrast'")) << r.output;
    EXPECT_FALSE(fs::exists(dir.file("never")));
}

// The batch and settings commands, and develop with a settings document,
// run as separate processes.

#include "support/cli_run.h"
#include "support/dng_writer.h"
#include "support/exif_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using vornalix::testing::CliRun;
using vornalix::testing::quote;
using vornalix::testing::run_cli;
namespace fs = std::filesystem;

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

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

}  // namespace

// Bad files are named and skipped; a RAW+JPEG pair of one shot gives two
// outputs; two workers write the same bytes as one; nothing overwrites an
// input, even when writing into the inputs' own folder.
TEST(CliBatch, GoesOnPastBadFilesAndWritesTheSameFilesWithTwoJobs) {
    vornalix::testing::TempDir dir;
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dir.file("IMG_1.dng"), vornalix::testing::make_test_scene(96, 64)));
    write_photo(dir.file("IMG_1.jpg"), 1);
    write_photo(dir.file("IMG_2.jpg"), 2);
    write_file(dir.file("broken.cr2"), "not a raw file at all");
    write_file(dir.file("cut.jpg"), read_file(dir.file("IMG_1.jpg")).substr(0, 40));
    std::string inputs;
    for (const char* name : {"IMG_1.dng", "broken.cr2", "IMG_1.jpg", "cut.jpg", "IMG_2.jpg"})
        inputs += quote(dir.file(name)) + " ";
    for (const char* jobs : {"1", "2"}) {
        const CliRun r = run_cli("batch " + inputs + "-o " + quote(dir.file(jobs)) + " --jobs " + jobs +
                                 " --format png --auto --exposure 0.5");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("developed 3 of 5 files"), std::string::npos) << r.output;
        const std::string failed = r.output.substr(std::min(r.output.find("failed (2):"), r.output.size()));
        EXPECT_NE(failed.find("cut.jpg: "), std::string::npos) << r.output;
    }
    for (const std::string name : {"IMG_1.dng.png", "IMG_1.jpg.png", "IMG_2.png"})
        EXPECT_EQ(read_file(dir.file("1/" + name)), read_file(dir.file("2/" + name))) << name;
    EXPECT_EQ(cv::imread(dir.file("1/IMG_2.png")).size(), cv::Size(48, 38));

    const std::string original = read_file(dir.file("IMG_2.jpg"));
    const CliRun r = run_cli("batch " + quote(dir.file("IMG_2.jpg")) + " -o " + quote(dir.path().string()));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(read_file(dir.file("IMG_2.jpg")), original);
    EXPECT_TRUE(fs::exists(dir.file("IMG_2.jpg.jpg")));
}

TEST(CliBatch, JpegOutputsCarryTheSourcesCameraMetadata) {
    vornalix::testing::TempDir dir;
    fixtures::ExifBuilder exif;
    exif.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Batchmaker");
    fixtures::write_bytes(dir.file("shot.jpg"), fixtures::jpeg_with_exif(exif.block()));
    const CliRun r = run_cli("batch " + quote(dir.file("shot.jpg")) + " -o " + quote(dir.file("out")) + " --jobs 1");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(read_file(dir.file("out/shot.jpg")).find("Batchmaker"), std::string::npos);
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
    EXPECT_EQ(read_file(dir.file("a.png")), read_file(dir.file("b.png")));

    write_file(dir.file("partial.json"), R"({"exposure": 0.5, "tint": 12})");
    r = run_cli("settings " + in + " --settings " + quote(dir.file("partial.json")) + " --exposure 2");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(value_of(r.output, "temperature"), 6500.0f);  // not named: as shot
    EXPECT_EQ(value_of(r.output, "tint"), 12.0f);            // named: the document's
    EXPECT_EQ(value_of(r.output, "exposure"), 2.0f);         // the flag wins

    write_file(dir.file("bad.json"), R"({"exposure": 0.5, "contrast": [1]})");
    r = run_cli("batch " + in + " -o " + quote(dir.file("never")) + " --settings " + quote(dir.file("bad.json")));
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("'contrast'"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir.file("never")));
}

// vornalix batch INPUT... -o OUTDIR [--settings FILE] [--auto] [--jobs N] [--format jpg|tif|png]
//
// Develops many photographs with one look. Each worker thread owns one
// context (contexts share nothing); files are handed out one at a time.

#include "batch_plan.h"
#include "cli.h"
#include "command.h"
#include "look.h"
#include "output.h"
#include "progress.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix batch INPUT... -o OUTDIR [options] [look options]\n\n"
                 "Develops every INPUT with the same look into OUTDIR (created when missing).\n"
                 "Output names are STEM.EXT; inputs sharing a stem keep their whole name\n"
                 "(IMG_1.cr2.jpg, IMG_1.jpg.jpg), so no output overwrites an input or another\n"
                 "output. A file that fails is reported and the batch goes on; the exit status\n"
                 "is 1 when any file failed.\n\n"
                 "options:\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n\n",
                 "-o, --output OUTDIR", "the folder to write into (required)",
                 cli::kSizeUsage, cli::kSizeHelp,
                 "--format jpg|tif|png", "output format (default jpg: 8-bit with the source's EXIF;",
                 "", "tif: 16-bit; png: 8-bit)",
                 "--jobs N", "worker threads (default: the number of processors)",
                 "--scale N", "RAW decoding size, 1..4: 1 full, 2-3 half, 4 quarter (default 1)",
                 "--quality Q", "JPEG quality, 1..100 (default 92)",
                 cli::kProfileUsage, cli::kProfileHelp,
                 "-h, --help", "this text");
    cli::Look::print_help(out);
}

struct Job {
    std::string input;
    std::string output;
    std::string error;  // empty when the file was developed
};

// Develops one file in a worker's context; the reason of a failure lands in job.error.
void develop(VornalixContext* ctx, Job& job, int scale, const cli::Look& look, const cli::OutputOptions& options) {
    vornalix_set_size_limit(ctx, options.size_limit);
    if (vornalix_load_arw(ctx, job.input.c_str(), scale) != 0) {
        job.error = vornalix_last_error(ctx);
        return;
    }
    if (look.apply(ctx, job.error) != 0) return;
    std::string error;
    if (cli::export_rendering(ctx, job.output, options, error) != 0) job.error = error;
}

}  // namespace

int cmd_batch(int argc, char** argv) {
    const std::string name = "batch";
    std::vector<std::string> inputs;
    std::string outdir, format = "jpg";
    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    int scale = 1;
    cli::OutputOptions options;
    options.keep_exif = true;  // a batch's JPEGs carry each source's camera metadata
    cli::Look look;
    const auto own = [&](const std::string& arg, int& i, std::string& error) {
        const auto profile = cli::profile_option(arg, i, argc, argv, options, error);
        if (profile != cli::OptionResult::not_mine) return profile;
        const auto size = cli::size_option(arg, i, argc, argv, options, error);
        if (size != cli::OptionResult::not_mine) return size;
        if (arg == "--format") {
            if (++i >= argc) return cli::option_error(error, arg + " needs a value");
            format = argv[i];
            if (format != "jpg" && format != "tif" && format != "png")
                return cli::option_error(error, "--format must be jpg, tif or png");
            return cli::OptionResult::parsed;
        }
        if (arg == "--jobs" || arg == "--scale" || arg == "--quality") {
            int value;
            if (++i >= argc || !cli::parse_int(argv[i], value))
                return cli::option_error(error, arg + " needs an integer");
            if (arg == "--jobs" && (value < 1 || value > 256)) return cli::option_error(error, "--jobs must be 1..256");
            if (arg == "--scale" && (value < 1 || value > 4)) return cli::option_error(error, "--scale must be 1..4");
            if (arg == "--quality" && (value < 1 || value > 100))
                return cli::option_error(error, "--quality must be 1..100");
            (arg == "--jobs" ? jobs : arg == "--scale" ? scale : options.jpeg_quality) = value;
            return cli::OptionResult::parsed;
        }
        return cli::OptionResult::not_mine;
    };
    cli::ArgumentRules rules{name, print_help};
    rules.output = &outdir;
    rules.output_kind = "a value";
    rules.look = &look;
    rules.no_input = "no input files";
    rules.no_output = "no output folder (-o OUTDIR)";
    if (const auto status = cli::read_arguments(rules, argc, argv, own, inputs)) return *status;

    // The same file named twice is developed once.
    std::set<std::string> seen;
    std::vector<std::string> unique;
    for (const std::string& in : inputs) {
        std::error_code ec;
        const std::string key = std::filesystem::weakly_canonical(std::filesystem::absolute(in), ec).string();
        if (seen.insert(ec ? in : key).second) unique.push_back(in);
    }
    std::error_code ec;
    std::filesystem::create_directories(outdir, ec);
    if (ec || !std::filesystem::is_directory(outdir)) {
        std::fprintf(stderr, "vornalix: cannot create the output folder %s\n", outdir.c_str());
        return cli::kFailure;
    }

    const std::vector<std::string> outputs = cli::plan_outputs(unique, outdir, format);
    std::vector<Job> work(unique.size());
    for (size_t k = 0; k < unique.size(); ++k) work[k] = {unique[k], outputs[k], ""};
    jobs = static_cast<int>(std::min<size_t>(static_cast<size_t>(jobs), work.size()));

    cli::Progress progress(name, work.size());
    std::atomic<size_t> next{0};
    const auto worker = [&] {
        cli::Context ctx;
        for (size_t k; (k = next.fetch_add(1)) < work.size();) {
            Job& job = work[k];
            if (!ctx)
                job.error = "could not create a context";
            else
                develop(ctx.get(), job, scale, look, options);
            progress.finished(job.input, job.error);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < jobs; ++t) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();
    progress.close();

    const double seconds = progress.elapsed();
    size_t failed = 0;
    for (const Job& job : work) failed += job.error.empty() ? 0 : 1;
    std::printf("developed %zu of %zu files into %s in %.1f s (%.2f files/s, %d job%s)\n", work.size() - failed,
                work.size(), outdir.c_str(), seconds, seconds > 0 ? work.size() / seconds : 0.0, jobs,
                jobs == 1 ? "" : "s");
    if (failed) {
        std::printf("failed (%zu):\n", failed);
        for (const Job& job : work)
            if (!job.error.empty()) std::printf("  %s: %s\n", job.input.c_str(), job.error.c_str());
    }
    std::printf("%s", cli::kDefaultsNote);
    std::fflush(stdout);
    return failed ? cli::kFailure : 0;
}

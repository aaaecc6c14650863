// vornalix batch INPUT... -o OUTDIR [--settings FILE] [--auto] [--jobs N] [--format jpg|tif|png]
//
// Develops many photographs with one look. Each worker thread owns one
// context (contexts share nothing); files are handed out one at a time.

#include "batch_plan.h"
#include "cli.h"
#include "command.h"
#include "files.h"
#include "look.h"
#include "output.h"
#include "progress.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix batch INPUT... -o OUTDIR [options] [look options]\n\n"
                 "Develops every INPUT (a folder stands for its image files, in name order)\n"
                 "with the same look into OUTDIR (created when missing).\n%s"
                 "An output that exists already is skipped and named on stderr; --overwrite\n"
                 "develops it again. A file that fails is reported and the batch goes on; the\n"
                 "exit status is 1 when any file failed. Progress and failures go to stderr.\n\n"
                 "options:\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n\n%s\n",
                 cli::kNamingRule,
                 "-o, --output OUTDIR", "the folder to write into (required)",
                 cli::kSizeUsage, cli::kSizeHelp,
                 "--format jpg|tif|png", "output format (default jpg: 8-bit with the source's EXIF;",
                 "", "tif: 16-bit; png: 8-bit)",
                 "--jobs N", "files developed at once, sharing the processors (default: one per processor)",
                 "--scale N", "RAW decoding size, 1..4: 1 full, 2-3 half, 4 quarter (default 1)",
                 "--quality Q", "JPEG quality, 1..100 (default 92)",
                 cli::kProfileUsage, cli::kProfileHelp, cli::common_help(true, true).c_str());
    cli::Look::print_help(out);
}

int processors() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

struct Job {
    std::string input;
    std::string output;
    std::string error;  // empty when the file was developed
    bool skip = false;  // the output exists and is kept
};

// Develops one file in a worker's context; the reason of a failure lands in job.error.
void develop(VornalixContext* ctx, Job& job, int scale, const cli::Look& look, const cli::OutputOptions& options) {
    job.error = cli::input_problem(job.input);
    if (!job.error.empty()) return;
    vornalix_set_size_limit(ctx, options.size_limit);
    if (vornalix_load_arw(ctx, job.input.c_str(), scale) != 0) {
        job.error = vornalix_last_error(ctx);
        return;
    }
    if (look.apply(ctx, job.error) != 0) return;
    std::string error;
    if (cli::export_rendering(ctx, job.output, options, error) != 0) job.error = error;
}

// The summary on stderr: how many were developed and skipped, then the failed files.
void report(const std::vector<Job>& work, const std::string& outdir, double seconds, int jobs) {
    size_t failed = 0, skipped = 0;
    for (const Job& job : work) {
        skipped += job.skip ? 1 : 0;
        failed += job.error.empty() ? 0 : 1;
    }
    if (cli::verbosity != cli::Verbosity::quiet)
        std::fprintf(stderr, "developed %zu of %zu files (%zu skipped) into %s in %.1f s (%.2f files/s, %d job%s)\n",
                     work.size() - failed - skipped, work.size(), skipped, outdir.c_str(), seconds,
                     seconds > 0 ? work.size() / seconds : 0.0, jobs, jobs == 1 ? "" : "s");
    if (failed == 0) return;
    std::fprintf(stderr, "failed (%zu):\n", failed);
    for (const Job& job : work)
        if (!job.error.empty()) std::fprintf(stderr, "  %s: %s\n", job.input.c_str(), job.error.c_str());
}

// Each worker's share of the processors for its decodes and renders, so that
// the workers' thread pools do not compete for the same cores (0: all).
int threads_per_worker(int jobs) {
    if (jobs <= 1) return 0;
    return std::max(1, processors() / jobs);
}

// Files of much the same size follow one another: the decoder's buffers
// freed after one file serve the next instead of going back to the system,
// whose fresh pages the kernel would zero again (the library maps its own
// images apart from the heap). One arena, so that a buffer one worker frees
// serves any other.
void keep_freed_memory() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
#endif
}

}  // namespace

int cmd_batch(int argc, char** argv) {
    const std::string name = "batch";
    std::vector<std::string> inputs;
    std::string outdir, format = "jpg";
    int jobs = processors();
    int scale = 1;
    cli::OutputOptions options;
    bool overwrite = false;
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
    rules.overwrite = &overwrite;
    rules.folders = true;
    if (const auto status = cli::read_arguments(rules, argc, argv, own, inputs)) return *status;

    // The same file named twice is developed once.
    std::set<std::string> seen;
    std::vector<std::string> unique;
    for (const std::string& in : inputs) {
        std::error_code ec;
        const std::string key = std::filesystem::weakly_canonical(std::filesystem::absolute(in), ec).string();
        if (seen.insert(ec ? in : key).second) unique.push_back(in);
    }
    if (const std::string problem = cli::make_folder(outdir); !problem.empty()) return cli::file_failure(problem);

    const std::vector<std::string> outputs = cli::plan_outputs(unique, outdir, format);
    std::vector<Job> work(unique.size());
    for (size_t k = 0; k < unique.size(); ++k)
        work[k] = {unique[k], outputs[k], "", !overwrite && std::filesystem::exists(outputs[k])};
    jobs = static_cast<int>(std::min<size_t>(static_cast<size_t>(jobs), work.size()));

    cli::Progress progress(name, work.size());
    std::atomic<size_t> next{0};
    const auto worker = [&] {
        cli::Context ctx;
        for (size_t k; (k = next.fetch_add(1)) < work.size();) {
            Job& job = work[k];
            if (job.skip) {
                progress.skipped(job.input, job.output);
                continue;
            }
            if (!ctx)
                job.error = "could not create a context";
            else
                develop(ctx.get(), job, scale, look, options);
            progress.finished(job.input, job.error);
        }
    };
    keep_freed_memory();
    vornalix_set_thread_limit(threads_per_worker(jobs));
    std::vector<std::thread> threads;
    for (int t = 1; t < jobs; ++t) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();
    progress.close();
    report(work, outdir, progress.elapsed(), jobs);
    return progress.failures() ? cli::kFailure : 0;
}

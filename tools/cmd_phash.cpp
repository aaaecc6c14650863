// vornalix phash FILE...          one hexadecimal perceptual hash per line
// vornalix phash --distance A B   Hamming distance of two files or hashes

#include "cli.h"
#include "command.h"
#include "files.h"
#include "progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix phash FILE...\n"
                 "       vornalix phash --distance A B\n\n"
                 "Prints a 64-bit perceptual hash of each image file as 16 hexadecimal digits,\n"
                 "one per line (followed by the file name when several files are given). RAW\n"
                 "files are hashed through the camera's embedded preview. Similar pictures\n"
                 "differ in few bits: --distance prints how many bits differ between A and B,\n"
                 "each a file or a hash printed earlier. A folder stands for its image files.\n\n%s",
                 cli::common_help(false, true).c_str());
}

const char* failure_reason(int code) {
    switch (code) {
        case -2: return "the RAW file has no embedded thumbnail";
        case -3: return "the embedded thumbnail cannot be made into an image";
        case -4: return "the embedded thumbnail cannot be decoded";
        default: return "cannot read the image";
    }
}

bool is_file(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// 1 to 16 hexadecimal digits and nothing else.
bool parse_hash(const char* text, unsigned long long& hash) {
    const size_t length = std::strlen(text);
    if (length == 0 || length > 16 || std::strspn(text, "0123456789abcdefABCDEF") != length) return false;
    hash = std::strtoull(text, nullptr, 16);
    return true;
}

// An existing file is hashed; anything else must be a hash.
bool hash_of(const char* arg, unsigned long long& hash, cli::Progress& progress) {
    if (!is_file(arg) && parse_hash(arg, hash)) return true;
    const int code = vornalix_phash(arg, &hash);
    if (code != 0) progress.finished(arg, failure_reason(code));
    return code == 0;
}

int distance(int argc, char** argv) {
    if (argc != 2) return cli::usage_error("phash", "--distance needs two files or hashes");
    cli::Progress progress("phash", 2);
    unsigned long long a = 0, b = 0;
    if (!hash_of(argv[0], a, progress) || !hash_of(argv[1], b, progress)) return cli::kFailure;
    std::printf("%d\n", __builtin_popcountll(a ^ b));
    return 0;
}

}  // namespace

int cmd_phash(int argc, char** argv) {
    if (argc > 0 && std::strcmp(argv[0], "--distance") == 0) return distance(argc - 1, argv + 1);
    std::vector<std::string> inputs;
    cli::ArgumentRules rules{"phash", print_help};
    rules.no_input = "no image file given";
    rules.folders = true;
    if (const auto status = cli::read_arguments(rules, argc, argv, nullptr, inputs)) return *status;

    cli::Progress progress("phash", inputs.size());
    for (const std::string& input : inputs) {
        unsigned long long hash = 0;
        std::string problem = cli::input_problem(input);
        const int code = problem.empty() ? vornalix_phash(input.c_str(), &hash) : 0;
        if (problem.empty() && code != 0) problem = failure_reason(code);
        if (problem.empty() && inputs.size() == 1) {
            std::printf("%016llx\n", hash);
        } else if (problem.empty()) {
            std::printf("%016llx  %s\n", hash, input.c_str());
            std::fflush(stdout);
        }
        progress.finished(input, problem);
    }
    progress.done();
    return progress.failures() ? cli::kFailure : 0;
}

#include "progress.h"

#include <cstdio>
#include <utility>

#include <unistd.h>

namespace cli {

Progress::Progress(std::string command, std::size_t total)
    : command_(std::move(command)), total_(total), live_(total > 1 && ::isatty(STDERR_FILENO)) {}

void Progress::next(const std::string& file) {
    ++current_;
    if (!live_) return;
    // Carriage return, then clear to the end of the line.
    std::fprintf(stderr, "\r\033[Kvornalix %s: %zu/%zu %s", command_.c_str(), current_, total_, file.c_str());
    std::fflush(stderr);
}

void Progress::failed(const std::string& file, const std::string& reason) {
    ++failures_;
    if (live_) std::fprintf(stderr, "\r\033[K");
    std::fprintf(stderr, "vornalix %s: %s: %s\n", command_.c_str(), file.c_str(), reason.c_str());
}

void Progress::done() {
    if (total_ <= 1) return;
    if (live_) std::fprintf(stderr, "\r\033[K");
    std::fprintf(stderr, "vornalix %s: %zu files, %zu done, %zu failed\n", command_.c_str(), total_,
                 total_ - failures_, failures_);
}

}  // namespace cli

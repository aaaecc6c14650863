#include "progress.h"

#include "cli.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include <unistd.h>

namespace cli {

namespace {

// Carriage return, then clear to the end of the line.
constexpr const char* kClearLine = "\r\033[K";

std::string duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

Progress::Progress(std::string command, std::size_t total)
    : command_(std::move(command)), total_(total), live_(total > 1 && verbosity == Verbosity::normal && ::isatty(STDERR_FILENO)) {}

double Progress::elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

void Progress::finished(const std::string& file, const std::string& failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
    if (live_) std::fprintf(stderr, "%s", kClearLine);
    if (!failure.empty()) {
        ++failures_;
        std::fprintf(stderr, "vornalix %s: %s: %s\n", command_.c_str(), file.c_str(), failure.c_str());
    } else if (verbosity == Verbosity::verbose) {
        std::fprintf(stderr, "vornalix %s: %s\n", command_.c_str(), file.c_str());
    }
    if (!live_) return;
    const double rate = finished_ / std::max(elapsed(), 1e-3);
    std::fprintf(stderr, "vornalix %s: %zu/%zu %s  (%.2f files/s, %s left)", command_.c_str(), finished_, total_,
                 file.c_str(), rate, duration((total_ - finished_) / rate).c_str());
    std::fflush(stderr);
}

void Progress::skipped(const std::string& file, const std::string& output) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
    ++skipped_;
    if (verbosity == Verbosity::quiet) return;
    std::fprintf(stderr, "%svornalix %s: %s: skipped, %s exists (--overwrite redoes it)\n", live_ ? kClearLine : "",
                 command_.c_str(), file.c_str(), output.c_str());
}

void Progress::close() {
    if (live_) std::fprintf(stderr, "%s", kClearLine);
}

void Progress::done() {
    close();
    if (total_ <= 1 || verbosity == Verbosity::quiet) return;
    std::fprintf(stderr, "vornalix %s: %zu files, %zu done, %zu skipped, %zu failed (%.1f s)\n", command_.c_str(),
                 total_, total_ - failures_ - skipped_, skipped_, failures_, elapsed());
}

}  // namespace cli

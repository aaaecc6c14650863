#include "progress.h"

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
    : command_(std::move(command)), total_(total), live_(total > 1 && ::isatty(STDERR_FILENO)) {}

double Progress::elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

void Progress::next(const std::string& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++current_;
    if (!live_) return;
    std::fprintf(stderr, "%svornalix %s: %zu/%zu %s", kClearLine, command_.c_str(), current_, total_, file.c_str());
    // The files before this one give the rate.
    const double seconds = elapsed();
    if (current_ > 1 && seconds > 0) {
        const double rate = (current_ - 1) / seconds;
        std::fprintf(stderr, "  (%.2f files/s, %s left)", rate, duration((total_ - current_ + 1) / rate).c_str());
    }
    std::fflush(stderr);
}

void Progress::failed(const std::string& file, const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++failures_;
    if (live_) std::fprintf(stderr, "%s", kClearLine);
    std::fprintf(stderr, "vornalix %s: %s: %s\n", command_.c_str(), file.c_str(), reason.c_str());
}

void Progress::close() {
    if (live_) std::fprintf(stderr, "%s", kClearLine);
}

void Progress::done() {
    close();
    if (total_ <= 1) return;
    std::fprintf(stderr, "vornalix %s: %zu files, %zu done, %zu failed\n", command_.c_str(), total_,
                 total_ - failures_, failures_);
}

}  // namespace cli

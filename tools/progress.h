#pragma once
// Progress of a command that works through many files, on stderr: on a
// terminal one line rewritten in place (count, rate, time left); failures and
// skipped files on lines of their own, each file with -v; at the end a
// summary of how many succeeded, were skipped and failed. -q leaves only the
// failures.
// Workers of one command may report from several threads.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace cli {

class Progress {
public:
    // Shown only for more than one file.
    Progress(std::string command, std::size_t total);
    // Counts FILE as worked on; with a FAILURE, prints
    // "vornalix COMMAND: FILE: FAILURE" on a line of its own.
    void finished(const std::string& file, const std::string& failure = {});
    // Counts FILE as passed over because its OUTPUT exists, and says so.
    void skipped(const std::string& file, const std::string& output);
    // Ends the live line.
    void close();
    // Ends the live line and prints the summary.
    void done();
    std::size_t failures() const { return failures_; }
    double elapsed() const;

private:
    using Clock = std::chrono::steady_clock;

    std::string command_;
    std::size_t total_;
    std::size_t finished_ = 0;
    std::size_t failures_ = 0;
    std::size_t skipped_ = 0;
    bool live_;  // stderr is a terminal: rewrite one line
    Clock::time_point start_ = Clock::now();
    std::mutex mutex_;
};

}  // namespace cli

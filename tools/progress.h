#pragma once
// A progress line on stderr for commands that work through many files: on a
// terminal it is rewritten in place for each file; at the end a summary line
// says how many files succeeded and failed.

#include <cstddef>
#include <string>

namespace cli {

class Progress {
public:
    // Shown only for more than one file.
    Progress(std::string command, std::size_t total);
    // Announces the file about to be worked on.
    void next(const std::string& file);
    // Prints "vornalix COMMAND: FILE: REASON" on a line of its own and counts
    // the file as failed.
    void failed(const std::string& file, const std::string& reason);
    // Ends the line and prints the summary.
    void done();
    std::size_t failures() const { return failures_; }

private:
    std::string command_;
    std::size_t total_;
    std::size_t current_ = 0;
    std::size_t failures_ = 0;
    bool live_;  // stderr is a terminal: rewrite one line
};

}  // namespace cli

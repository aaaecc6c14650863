#pragma once
// Runs the command-line program as a separate process.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace vornalix::testing {

struct CliRun {
    int status;
    std::string output;  // stdout and stderr together
};

// `s` quoted for the shell.
inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs `vornalix ARGS` (ARGS already quoted) and collects its exit status and output.
inline CliRun run_cli(const std::string& args) {
#ifndef VORNALIX_CLI
    ADD_FAILURE() << "built without the command-line program";
    return {-1, {}};
#else
    const std::string command = quote(VORNALIX_CLI) + " " + args + " 2>&1";
    CliRun r{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) r.output.append(buf.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
#endif
}

}  // namespace vornalix::testing

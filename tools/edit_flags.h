#pragma once
// The edit-setting flags of the command line: one flag per setter of the
// library. Flags are collected first and applied after loading, because a
// load resets every setting.

#include "vornalix.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace cli {

class EditFlags {
public:
    enum class Result { not_mine, parsed, error };

    // When argv[i] is an edit flag, takes it and its values (leaving i on
    // the last one used) and returns parsed; an edit flag with missing or
    // malformed values gives error with a message; anything else not_mine.
    Result parse(int argc, char** argv, int& i, std::string& error);

    // Applies every collected edit through the library's setters.
    void apply(VornalixContext* ctx) const;

    // Lists every edit flag with its values, unit and range.
    static void print_help(std::FILE* out);

private:
    std::vector<std::function<void(VornalixContext*)>> edits_;
    // Split toning is set per region with the balance travelling with the
    // highlights, so its three flags are gathered and set together.
    bool split_given_ = false;
    float split_[5] = {0, 0, 0, 0, 0};  // highlight hue, sat, shadow hue, sat, balance
};

}  // namespace cli

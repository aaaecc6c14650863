#pragma once
// The edit-setting flags of the command line: one flag per setter of the
// library, the single-value ones with their names, units and ranges as the
// library's settings schema gives them. Flags are collected first and applied
// after loading, because a load resets every setting.

#include "vornalix.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace cli {

// The library's single-value settings (vornalix_settings_schema's "settings"),
// parsed once.
const nlohmann::json& settings_schema();

// Sets the keys of `values` (a settings-document object) and keeps every
// other setting. Returns 0, or kFailure with the library's message in `error`.
int merge_settings(VornalixContext* ctx, const nlohmann::json& values, std::string& error);

class EditFlags {
public:
    enum class Result { not_mine, parsed, error };

    // When argv[i] is an edit flag, takes it and its values (leaving i on
    // the last one used) and returns parsed; an edit flag with missing or
    // malformed values, or a value outside its setting's range without
    // --allow-extreme, gives error with a message; anything else not_mine.
    Result parse(int argc, char** argv, int& i, std::string& error);

    // Applies every collected edit. Returns 0, or kFailure with `error` set.
    int apply(VornalixContext* ctx, std::string& error) const;

    // Lists every edit flag with its values, unit and range.
    static void print_help(std::FILE* out);

private:
    nlohmann::json values_ = nlohmann::json::object();  // single-value settings by key
    std::vector<std::function<void(VornalixContext*)>> edits_;  // the settings with several parts
    // Split toning is set per region with the balance travelling with the
    // highlights, so its three flags are gathered and set together.
    bool split_given_ = false;
    float split_[5] = {0, 0, 0, 0, 0};  // highlight hue, sat, shadow hue, sat, balance
};

}  // namespace cli

// Settings documents: the whole edit of a context as JSON text, and back.
// Reading checks the whole document before anything is assigned, so a bad
// document leaves the edit as it was.

#include "api/settings_json.h"

#include "api/boundary.h"
#include "vornalix.h"

#include <nlohmann/json.hpp>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>
#include <vector>

namespace vornalix {

namespace {

// Keys keep the order they are written in; numbers are single precision, so
// every stored float is written as its shortest text and read back bit for bit.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

[[noreturn]] void fail(const std::string& key, const std::string& what) {
    throw std::invalid_argument("settings: key '" + key + "': " + what);
}

float finite_for_writing(float value, const std::string& key) {
    if (!std::isfinite(value)) fail(key, "holds a value that is not finite and cannot be written");
    return value;
}

float read_number(const Json& value, const std::string& key) {
    if (!value.is_number()) fail(key, std::string("expected a number, found ") + value.type_name());
    const float number = value.get<float>();
    if (!std::isfinite(number)) fail(key, "number out of range");
    return number;
}

int read_int(const Json& value, const std::string& key) {
    const float number = read_number(value, key);
    constexpr float kLargestWhole = 1 << 24;  // every whole float up to here is exact
    if (number != std::trunc(number) || std::fabs(number) > kLargestWhole)
        fail(key, "expected a whole number between -16777216 and 16777216");
    return static_cast<int>(number);
}

// An array of exactly `n` numbers (n = 0: at least two, for curve points).
std::vector<float> read_numbers(const Json& value, std::size_t n, const std::string& key) {
    if (!value.is_array()) fail(key, std::string("expected an array, found ") + value.type_name());
    if (value.size() != n) fail(key, "expected " + std::to_string(n) + " numbers, found " + std::to_string(value.size()));
    std::vector<float> numbers;
    for (std::size_t i = 0; i < n; ++i) numbers.push_back(read_number(value[i], key + "[" + std::to_string(i) + "]"));
    return numbers;
}

const Json& object_at(const Json& value, const std::string& key) {
    if (!value.is_object()) fail(key, std::string("expected an object, found ") + value.type_name());
    return value;
}

// Sub-keys of an object member must be among `names`.
void reject_unknown(const Json& object, const std::vector<const char*>& names, const std::string& key) {
    for (const auto& item : object.items()) {
        bool known = false;
        for (const char* name : names) known = known || item.key() == name;
        if (!known) fail(key + "." + item.key(), "unknown key");
    }
}

const std::vector<const char*> kCurveNames = {"master", "red", "green", "blue"};
const std::vector<const char*> kBandNames = {"red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta"};

Json write_curve(const CurvePoints& curve, const std::string& key) {
    Json points = Json::array();
    for (const auto& [x, y] : curve.points)
        points.push_back(Json::array({finite_for_writing(x, key), finite_for_writing(y, key)}));
    return points;
}

CurvePoints read_curve(const Json& value, const std::string& key) {
    if (!value.is_array()) fail(key, std::string("expected an array of [x, y] points, found ") + value.type_name());
    if (value.size() < 2) fail(key, "a curve needs at least 2 points, found " + std::to_string(value.size()));
    CurvePoints curve;
    curve.points.clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto xy = read_numbers(value[i], 2, key + "[" + std::to_string(i) + "]");
        curve.points.emplace_back(xy[0], xy[1]);
    }
    return curve;
}

// One top-level key: how it is written from and read into the edit.
struct Key {
    const char* name;
    std::function<Json(const EditParams&)> write;
    std::function<void(const Json&, EditParams&)> read;
};

Key plain(const char* name, float EditParams::*field) {
    return {name, [=](const EditParams& p) { return Json(finite_for_writing(p.*field, name)); },
            [=](const Json& v, EditParams& p) { p.*field = read_number(v, name); }};
}

Key plain(const char* name, int EditParams::*field) {
    return {name, [=](const EditParams& p) { return Json(p.*field); },
            [=](const Json& v, EditParams& p) { p.*field = read_int(v, name); }};
}

Key tone_curve() {
    return {"tone_curve",
            [](const EditParams& p) {
                Json curves = Json::object();
                for (std::size_t c = 0; c < kCurveNames.size(); ++c)
                    curves[kCurveNames[c]] = write_curve(p.curves[c], std::string("tone_curve.") + kCurveNames[c]);
                return curves;
            },
            [](const Json& v, EditParams& p) {
                reject_unknown(object_at(v, "tone_curve"), kCurveNames, "tone_curve");
                for (std::size_t c = 0; c < kCurveNames.size(); ++c)
                    if (v.contains(kCurveNames[c]))
                        p.curves[c] = read_curve(v.at(kCurveNames[c]), std::string("tone_curve.") + kCurveNames[c]);
            }};
}

Key hsl() {
    return {"hsl",
            [](const EditParams& p) {
                Json bands = Json::object();
                for (std::size_t b = 0; b < kBandNames.size(); ++b) {
                    const std::string key = std::string("hsl.") + kBandNames[b];
                    bands[kBandNames[b]] = Json::array({finite_for_writing(p.hsl[b].hue, key),
                                                        finite_for_writing(p.hsl[b].saturation, key),
                                                        finite_for_writing(p.hsl[b].luminance, key)});
                }
                return bands;
            },
            [](const Json& v, EditParams& p) {
                reject_unknown(object_at(v, "hsl"), kBandNames, "hsl");
                for (std::size_t b = 0; b < kBandNames.size(); ++b) {
                    if (!v.contains(kBandNames[b])) continue;
                    const auto hsl = read_numbers(v.at(kBandNames[b]), 3, std::string("hsl.") + kBandNames[b]);
                    p.hsl[b] = {hsl[0], hsl[1], hsl[2]};
                }
            }};
}

Key split_toning() {
    return {"split_toning",
            [](const EditParams& p) {
                const std::string key = "split_toning";
                return Json{{"highlight", Json::array({finite_for_writing(p.split_highlight_hue, key),
                                                       finite_for_writing(p.split_highlight_saturation, key)})},
                            {"shadow", Json::array({finite_for_writing(p.split_shadow_hue, key),
                                                    finite_for_writing(p.split_shadow_saturation, key)})},
                            {"balance", finite_for_writing(p.split_balance, key)}};
            },
            [](const Json& v, EditParams& p) {
                reject_unknown(object_at(v, "split_toning"), {"highlight", "shadow", "balance"}, "split_toning");
                if (v.contains("highlight")) {
                    const auto hs = read_numbers(v.at("highlight"), 2, "split_toning.highlight");
                    p.split_highlight_hue = hs[0];
                    p.split_highlight_saturation = hs[1];
                }
                if (v.contains("shadow")) {
                    const auto hs = read_numbers(v.at("shadow"), 2, "split_toning.shadow");
                    p.split_shadow_hue = hs[0];
                    p.split_shadow_saturation = hs[1];
                }
                if (v.contains("balance")) p.split_balance = read_number(v.at("balance"), "split_toning.balance");
            }};
}

Key crop() {
    return {"crop",
            [](const EditParams& p) {
                return Json::array({finite_for_writing(p.crop_x, "crop"), finite_for_writing(p.crop_y, "crop"),
                                    finite_for_writing(p.crop_w, "crop"), finite_for_writing(p.crop_h, "crop")});
            },
            [](const Json& v, EditParams& p) {
                const auto xywh = read_numbers(v, 4, "crop");
                p.crop_x = xywh[0];
                p.crop_y = xywh[1];
                p.crop_w = xywh[2];
                p.crop_h = xywh[3];
            }};
}

// Every key, in the order of the settings table.
const std::vector<Key>& keys() {
#define VORNALIX_PLAIN_KEY(key, ...) plain(#key, &EditParams::key),
#define VORNALIX_COMPOSITE_KEY(name) name(),
    static const std::vector<Key> table = {VORNALIX_SETTINGS(VORNALIX_PLAIN_KEY, VORNALIX_COMPOSITE_KEY)};
#undef VORNALIX_PLAIN_KEY
#undef VORNALIX_COMPOSITE_KEY
    return table;
}

// Parses the text, refusing a key repeated within one object (the parser
// would otherwise keep the last one silently). The keys of the enclosing
// objects are followed so that a number too large for the parser can still
// be blamed on its key.
Json parse(std::string_view text) {
    struct Level {
        std::set<std::string> keys;
        std::string current;
    };
    std::vector<Level> levels;
    std::string duplicate;
    const auto path = [&] {
        std::string joined;
        for (const Level& level : levels)
            if (!level.current.empty()) joined += (joined.empty() ? "" : ".") + level.current;
        return joined;
    };
    const Json::parser_callback_t follow_keys = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) levels.emplace_back();
        if (event == Json::parse_event_t::object_end && !levels.empty()) levels.pop_back();
        if (event == Json::parse_event_t::key && !levels.empty()) {
            levels.back().current = parsed.get<std::string>();
            if (!levels.back().keys.insert(levels.back().current).second && duplicate.empty()) duplicate = path();
        }
        return true;
    };
    Json document;
    try {
        document = Json::parse(text.begin(), text.end(), follow_keys);
    } catch (const Json::out_of_range&) {
        fail(path(), "number out of range");
    } catch (const Json::exception& e) {
        // Keep the parser's own description, without its exception prefix.
        std::string what = e.what();
        const auto start = what.find("] ");
        if (start != std::string::npos) what.erase(0, start + 2);
        throw std::invalid_argument("settings: not valid JSON: " + what);
    }
    if (!duplicate.empty()) fail(duplicate, "appears more than once in one object");
    return document;
}

}  // namespace

std::string settings_to_json(const EditParams& params) {
    Json document = Json::object();
    document["version"] = kSettingsVersion;
    for (const Key& key : keys()) document[key.name] = key.write(params);
    return document.dump(2) + "\n";
}

EditParams settings_from_json(std::string_view text) {
    const Json document = parse(text);
    if (!document.is_object())
        throw std::invalid_argument(std::string("settings: expected a JSON object, found ") + document.type_name());
    if (document.contains("version") && read_int(document.at("version"), "version") != kSettingsVersion)
        fail("version", "unsupported version (this library reads version " + std::to_string(kSettingsVersion) + ")");

    EditParams params;
    for (const auto& item : document.items()) {
        if (item.key() == "version") continue;
        const Key* key = nullptr;
        for (const Key& candidate : keys())
            if (item.key() == candidate.name) key = &candidate;
        if (!key) fail(item.key(), "unknown key");
        key->read(item.value(), params);
    }
    return params;
}

std::string settings_schema() {
    Json settings = Json::array();
#define VORNALIX_SCHEMA_ROW(key, type, value, front_end_value, min, max, flag, unit, suggestion)                 \
    settings.push_back(Json{{"key", #key},                                                                       \
                            {"type", #type},                                                                     \
                            {"default", value},                                                                  \
                            {"front_end_default", front_end_value},                                              \
                            {"min", min},                                                                        \
                            {"max", max},                                                                        \
                            {"flag", flag},                                                                      \
                            {"unit", unit},                                                                      \
                            {"suggestion", (suggestion) == kNoSuggestion ? Json() : Json(suggestion)}});
    VORNALIX_SETTINGS(VORNALIX_SCHEMA_ROW, VORNALIX_SETTINGS_SKIP)
#undef VORNALIX_SCHEMA_ROW
    Json parts = Json::object();
#define VORNALIX_SCHEMA_PART(name, min, max) parts[#name] = Json{{"min", min}, {"max", max}};
    VORNALIX_PART_RANGES(VORNALIX_SCHEMA_PART)
#undef VORNALIX_SCHEMA_PART
    Json outputs = Json::object();
#define VORNALIX_SCHEMA_OUTPUT(name, front_end_value, min, max) \
    outputs[#name] = Json{{"front_end_default", front_end_value}, {"min", min}, {"max", max}};
    VORNALIX_OUTPUT_OPTIONS(VORNALIX_SCHEMA_OUTPUT)
#undef VORNALIX_SCHEMA_OUTPUT
    return Json{{"version", kSettingsVersion}, {"settings", settings}, {"parts", parts}, {"outputs", outputs}}.dump();
}

}  // namespace vornalix

extern "C" {

int vornalix_settings_to_json(VornalixContext* ctx, char* buf, int size) {
    if (!ctx) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const std::string text = vornalix::settings_to_json(ctx->params);
        if (text.size() >= static_cast<std::size_t>(INT_MAX)) {
            vornalix::api::set_error(ctx, "settings: document too large");
            return vornalix::api::kFailure;
        }
        const int needed = static_cast<int>(text.size()) + 1;
        if (!buf) return needed;
        if (size < needed) {
            vornalix::api::set_error(ctx, "settings buffer too small: " + std::to_string(needed) + " bytes needed");
            return -2;
        }
        std::memcpy(buf, text.c_str(), static_cast<std::size_t>(needed));
        return needed;
    });
}

const char* vornalix_settings_schema(void) {
    try {
        static const std::string schema = vornalix::settings_schema();
        return schema.c_str();
    } catch (...) {
        return "";  // out of memory on the first call; a later call tries again
    }
}

int vornalix_settings_from_json(VornalixContext* ctx, const char* json) {
    if (!ctx || !json) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] {
        vornalix::EditParams params = vornalix::settings_from_json(json);
        ctx->params = std::move(params);
        ctx->processed = false;
        return 0;
    });
}

}  // extern "C"

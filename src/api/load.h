#pragma once
// Internal forms of the loading entry points (the C functions wrap these).

#include "api/context.h"

#include <string>

namespace vornalix::api {

// Loads `path` into the context (standard or RAW route, `scale` clamped to
// 1..4). A failure changes only `processed` and, on the RAW route, the
// decoder's path and error text before it passes on.
void load(VornalixContext* ctx, const std::string& path, int scale);

// Empties the decoder, source and result; clears `processed` and `source_path`.
void unload(VornalixContext* ctx) noexcept;

// The rendered result's size while `processed`, else the loaded image's.
int current_width(const VornalixContext* ctx);
int current_height(const VornalixContext* ctx);

}  // namespace vornalix::api

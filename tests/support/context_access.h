#pragma once
// Tests look inside the opaque handle through the internal context type.

#include "api/boundary.h"
#include "api/context.h"
#include "vornalix.h"

#include <memory>

struct ContextDeleter {
    void operator()(VornalixContext* ctx) const { vornalix_destroy_context(ctx); }
};
using ContextPtr = std::unique_ptr<VornalixContext, ContextDeleter>;

inline ContextPtr make_context() { return ContextPtr(vornalix_create_context()); }

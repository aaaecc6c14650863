#pragma once
// The one error boundary every C entry point goes through: no exception may
// cross into the host. A Failure becomes its own code and message, anything
// else -1 with a one-line message.

#include "api/context.h"
#include "core/failure.h"

#include <string>

namespace vornalix::api {

constexpr int kFailure = -1;
extern const char* const kNoImageLoaded;

// Replaces the context's last-error text; never throws.
void set_error(VornalixContext* ctx, const std::string& message) noexcept;
void set_error(VornalixContext* ctx, const char* message) noexcept;

// Stores a one-line form of the in-flight exception's message and returns
// the C code for it: a Failure's own, -1 for anything else.
int report_current_exception(VornalixContext* ctx) noexcept;

// Runs `body` (returning int) and turns any exception into its code and message.
template <class Body>
int guarded(VornalixContext* ctx, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return report_current_exception(ctx);
    }
}

// For setters and other functions that return nothing: exceptions are swallowed.
template <class Body>
void guarded_void(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

// Fails with "no image loaded" unless the context holds an image.
inline void require_image(const VornalixContext* ctx) {
    if (!ctx->has_image()) fail(kNoImageLoaded);
}

}  // namespace vornalix::api

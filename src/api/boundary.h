#pragma once
// The one error boundary every C entry point goes through: no exception may
// cross into the host. Failures become -1 with a one-line message.

#include "api/context.h"

#include <string>

namespace vornalix::api {

constexpr int kFailure = -1;
extern const char* const kNoImageLoaded;

// Replaces the context's last-error text; never throws.
void set_error(VornalixContext* ctx, const std::string& message) noexcept;
void set_error(VornalixContext* ctx, const char* message) noexcept;

// Stores a one-line form of the in-flight exception's message.
void report_current_exception(VornalixContext* ctx) noexcept;

// Runs `body` (returning int) and turns any exception into -1 with a message.
template <class Body>
int guarded(VornalixContext* ctx, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        report_current_exception(ctx);
        return kFailure;
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
inline bool require_image(VornalixContext* ctx) noexcept {
    if (ctx->has_image()) return true;
    set_error(ctx, kNoImageLoaded);
    return false;
}

}  // namespace vornalix::api

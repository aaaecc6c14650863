#include "api/boundary.h"

#include <exception>
#include <new>

namespace vornalix::api {

const char* const kNoImageLoaded = "no image loaded";

void set_error(VornalixContext* ctx, const char* message) noexcept {
    if (!ctx) return;
    try {
        ctx->last_error = message ? message : "";
    } catch (...) {
        // Out of memory while storing the text: keep whatever was there.
    }
}

void set_error(VornalixContext* ctx, const std::string& message) noexcept {
    set_error(ctx, message.c_str());
}

namespace {

// OpenCV messages span several lines and carry file positions; keep one line.
std::string one_line(const char* what) {
    std::string text = what ? what : "";
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text.empty() ? "internal error" : text;
}

}  // namespace

int report_current_exception(VornalixContext* ctx) noexcept {
    try {
        throw;
    } catch (const Failure& failure) {
        set_error(ctx, failure.what());  // already in the host's words
        return failure.code();
    } catch (const std::bad_alloc&) {
        set_error(ctx, "out of memory");
    } catch (const std::exception& e) {
        try {
            set_error(ctx, one_line(e.what()));
        } catch (...) {
            set_error(ctx, "internal error");
        }
    } catch (...) {
        set_error(ctx, "internal error");
    }
    return kFailure;
}

}  // namespace vornalix::api

// Frame functions and the life of a context.

#include "api/boundary.h"
#include "core/threads.h"
#include "vornalix.h"

#include <cstring>
#include <new>

extern "C" {

int vornalix_init(void) { return 0; }

void vornalix_shutdown(void) {}

const char* vornalix_version(void) { return VORNALIX_VERSION_STRING; }

void vornalix_set_thread_limit(int threads) {
    vornalix::api::guarded_void([&] { vornalix::threads::set_limit(threads); });
}

VornalixContext* vornalix_create_context(void) {
    void* memory = ::operator new(sizeof(VornalixContext), std::nothrow);
    if (!memory) return nullptr;
    std::memset(memory, 0, sizeof(VornalixContext));
    try {
        return new (memory) VornalixContext();
    } catch (...) {
        // Members already built were destroyed by the failed construction.
        ::operator delete(memory);
        return nullptr;
    }
}

void vornalix_destroy_context(VornalixContext* ctx) {
    if (!ctx) return;
    ctx->~VornalixContext();
    ::operator delete(ctx);
}

const char* vornalix_last_error(VornalixContext* ctx) {
    if (!ctx) return "null context";
    return ctx->last_error.c_str();
}

}  // extern "C"

/* A plain C host, built as C99 against the build tree and, by the install
   test, against an installed one: create a context, set a value, destroy it. */
#include "vornalix.h"

#include <stdio.h>
#include <string.h>

int main(void) {
    char version[32];
    VornalixContext* ctx;

    snprintf(version, sizeof version, "%d.%d.%d", VORNALIX_VERSION_MAJOR, VORNALIX_VERSION_MINOR,
             VORNALIX_VERSION_PATCH);
    if (vornalix_init() != 0 || strcmp(vornalix_version(), version) != 0 ||
        strcmp(version, VORNALIX_VERSION_STRING) != 0)
        return 1;
    ctx = vornalix_create_context();
    if (!ctx) return 2;
    vornalix_set_exposure(ctx, 0.5f);
    vornalix_reset_adjustments(ctx);
    if (strcmp(vornalix_last_error(ctx), "") != 0) return 3;
    vornalix_destroy_context(ctx);
    vornalix_shutdown();
    printf("linked against vornalix %s\n", vornalix_version());
    return 0;
}

/* A plain C host: create a context, set values, destroy it. */
#include "vornalix.h"

#include <stdio.h>
#include <string.h>

int main(void) {
    const float curve[] = {0.0f, 0.0f, 0.5f, 0.6f, 1.0f, 1.0f};
    char version[32];
    VornalixContext* ctx;

    snprintf(version, sizeof version, "%d.%d.%d", VORNALIX_VERSION_MAJOR, VORNALIX_VERSION_MINOR,
             VORNALIX_VERSION_PATCH);
    if (vornalix_init() != 0 || strcmp(vornalix_version(), version) != 0) return 1;
    ctx = vornalix_create_context();
    if (!ctx) return 2;
    vornalix_set_exposure(ctx, 0.5f);
    vornalix_set_tone_curve(ctx, 0, curve, 3);
    vornalix_set_hsl(ctx, 7, 10.0f, 20.0f, -5.0f);
    vornalix_set_crop(ctx, 0.1f, 0.1f, 0.8f, 0.8f);
    vornalix_reset_adjustments(ctx);
    if (strcmp(vornalix_last_error(ctx), "") != 0) return 3;
    vornalix_destroy_context(ctx);
    vornalix_shutdown();
    puts("c client ok");
    return 0;
}

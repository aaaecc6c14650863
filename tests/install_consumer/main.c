#include <vornalix.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    VornalixContext* ctx = vornalix_create_context();
    if (!ctx || strcmp(vornalix_version(), VORNALIX_VERSION_STRING) != 0) return 1;
    vornalix_set_exposure(ctx, 1.0f);
    vornalix_destroy_context(ctx);
    printf("linked against vornalix %s\n", vornalix_version());
    return 0;
}

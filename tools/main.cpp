// vornalix: the command-line program, a client of the public C interface.

#include "vornalix.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "version") == 0)) {
        std::printf("vornalix %s\n", vornalix_version());
        return 0;
    }
    std::fprintf(stderr, "usage: vornalix --version\n");
    return 2;
}

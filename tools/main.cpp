// vornalix: the command-line program, a client of the public C interface.
//
// Each subcommand lives in its own tools/cmd_<name>.cpp and is listed once in
// the table below; it receives the arguments after its name and handles its
// own --help.

#include "cli.h"
#include "vornalix.h"

#include <cstdio>
#include <cstring>

int cmd_cutout(int argc, char** argv);
int cmd_develop(int argc, char** argv);
int cmd_info(int argc, char** argv);
int cmd_settings(int argc, char** argv);
int cmd_batch(int argc, char** argv);
int cmd_phash(int argc, char** argv);
int cmd_thumb(int argc, char** argv);

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"develop", "develop a photograph with edits into an image file", cmd_develop},
    {"info", "print the camera metadata of photographs as JSON", cmd_info},
    {"settings", "print a photograph's look as a settings document (JSON)", cmd_settings},
    {"batch", "develop many photographs with one look into a folder", cmd_batch},
    {"cutout", "write the subject of a photograph as a PNG or WebP with transparent background", cmd_cutout},
    {"thumb", "write the JPEG preview of image files", cmd_thumb},
    {"phash", "print perceptual hashes of image files, or their distance", cmd_phash},
};

void print_usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix COMMAND [ARGS...]\n"
                 "       vornalix COMMAND --help\n"
                 "       vornalix --version\n\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage(stderr);
        return cli::kUsageError;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--version") == 0 || std::strcmp(name, "version") == 0) {
        std::printf("vornalix %s\n", vornalix_version());
        return 0;
    }
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 || std::strcmp(name, "help") == 0) {
        print_usage(stdout);
        return 0;
    }
    for (const Command& c : kCommands)
        if (std::strcmp(name, c.name) == 0) return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "vornalix: unknown command '%s'\n", name);
    print_usage(stderr);
    return cli::kUsageError;
}

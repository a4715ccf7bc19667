// qunadiag: checks for support staff, run on the workstation. Each subcommand exercises the
// same code the updater's window uses, without the window.
#include "diag.h"

#include "app/resources/version.h"

#include <cstdio>
#include <cstring>

namespace {

struct Subcommand {
    const char* name;
    int (*run)(QStringList args);
    const char* usage;
};

const Subcommand subcommands[] = {
    {"db", runDb, "db FILE [--password P] [--table NAME | --query TEXT]"},
    {"zip", runZip, "zip FILE"},
};

int usage() {
    std::fputs("usage:\n  qunadiag --version\n", stderr);
    for (const Subcommand& s : subcommands)
        std::fprintf(stderr, "  qunadiag %s\n", s.usage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("qunadiag %s\n", app::version::kRelease);
        return 0;
    }
    QStringList args;
    for (int i = 2; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    for (const Subcommand& s : subcommands)
        if (std::strcmp(argv[1], s.name) == 0) return s.run(args);
    return usage();
}

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
    {"check", runCheck, "check [FOLDER]"},
    {"db", runDb, "db FILE [--password P] [--table NAME | --query TEXT]"},
    {"zip", runZip, "zip FILE"},
};

// The usage on stdout when asked for (--help), on stderr after a wrong command line.
int usage(std::FILE* out = stderr) {
    std::fputs("usage:\n  qunadiag --version\n  qunadiag --help\n", out);
    for (const Subcommand& s : subcommands)
        std::fprintf(out, "  qunadiag %s\n", s.usage);
    return out == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
        return usage(stdout);
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

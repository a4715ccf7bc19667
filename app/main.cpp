// QunaAgg2: the updater's window. It takes no arguments.
#include "program.h"

#include "platform/fs/fs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt ends the process with an abort (and a core dump) when it cannot reach the display it
// defaults to, so the updater checks first that it has one: a display of X11 or Wayland, or a
// platform chosen explicitly, which Qt then answers for itself.
bool platformAvailable(int argc, char** argv) {
#ifdef _WIN32
    return argc > 0 && argv; // Windows always has its desktop
#endif
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

// The updater takes its installation from the folder it is started from. Started from the
// package's own folder rather than through a link in an installation folder, it finds no
// installation there; the window says so in its own terms, and this says what to do instead.
bool startedFromPackageFolder() {
    return fs::startedFromHostFolder().endsWith(QStringLiteral("/lib/quna-updater"));
}

} // namespace

int main(int argc, char** argv) {
    if (startedFromPackageFolder())
        std::fputs("QunaAgg2: start the updater through the QunaAgg2 link in an installation "
                   "folder (made by quna-updater-link FOLDER), not from its package folder\n",
                   stderr);
    if (!platformAvailable(argc, argv)) {
        std::fputs("QunaAgg2: no display: the updater's window needs a graphical session "
                   "(DISPLAY or WAYLAND_DISPLAY is not set)\n",
                   stderr);
        return 1;
    }
    return app::runUpdater(argc, argv);
}

// The release in a section of its own in the program file, so that support staff can read it
// without starting the updater (which takes no arguments):
//     readelf -p .quna.version QunaAgg2
#include "app/resources/version.h"

#if defined(__ELF__)
[[gnu::used, gnu::section(".quna.version")]] static const char kVersionSection[] =
    "quna-updater " QUNA_VERSION;
#endif

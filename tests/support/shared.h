#pragma once
// The team's shared data (reference texts, Access-made databases): the folder "shared" beside
// the source tree.
#include <QString>

inline QString sharedFolder() {
    return qEnvironmentVariable("QUNA_SOURCE_DIR", ".") + QStringLiteral("/../shared");
}

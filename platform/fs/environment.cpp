#include "platform/fs/environment.h"

#include <QDir>
#include <cassert>

namespace fs {
namespace {

Environment* inForce = nullptr;

} // namespace

Environment::Environment(Default) {}

Environment::Environment() : previous_(inForce), inForce_(true) {
    inForce = this;
}

Environment::~Environment() {
    if (!inForce_) return;
    assert(inForce == this && "environments end in the reverse order of their start");
    inForce = previous_;
}

Environment& Environment::current() {
    if (inForce) return *inForce;
    static Environment host{Default{}};
    return host;
}

void Environment::setDrives(std::vector<Drive> table) {
    for (Drive& drive : table) {
        drive.letter = drive.letter.toUpper();
        drive.hostRoot = QDir::cleanPath(QDir::current().absoluteFilePath(drive.hostRoot));
    }
    state_.injectedDrives = std::move(table);
}

void Environment::setProgramFolder(const QString& hostPath) {
    state_.programFolder = hostPath.isEmpty()
                               ? QString()
                               : QDir::cleanPath(QDir::current().absoluteFilePath(hostPath));
}

void Environment::setProbe(ProbeHook hook) {
    state_.probe = std::move(hook);
}

void Environment::setFault(FaultHook hook) {
    state_.fault = std::move(hook);
}

void Environment::setDatabaseOpen(std::function<void(const QString& hostPath)> hook) {
    state_.databaseOpen = std::move(hook);
}

int Environment::checkpointCount() const {
    return state_.checkpointSteps;
}

void Environment::resetCheckpoints() {
    state_.checkpointSteps = 0;
}

} // namespace fs

// The installation lock (see InstallationLock in fs.h): what is the same on every system.
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

namespace fs {

InstallationLock::InstallationLock(const QString& windowsFolder) {
    try {
        state_ = take(toHost(windowsFolder));
    } catch (const vb::VbError& e) {
        state_ = State::Unavailable;
        number_ = e.number();
        description_ = e.description();
    }
}

void InstallationLock::raiseUnavailable() const {
    vb::raise(number_, description_);
}

} // namespace fs

// Starting the main program on Windows: CreateProcess in the installation folder, a normal
// window with the focus, not waited for.
#include "platform/ui/host.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace ui {

void startDetached(const QString& windowsPath) {
    if (!fs::normalFileExists(windowsPath)) vb::raise(vb::err::FileNotFound);
    const QString program = QDir::toNativeSeparators(fs::toHost(windowsPath));
    const QString folder =
        QDir::toNativeSeparators(QFileInfo(fs::toHost(windowsPath)).absolutePath());
    std::wstring commandLine = (u'"' + program + u'"').toStdWString();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    // The updater ends at once: the program it starts may take the foreground from it.
    ::AllowSetForegroundWindow(ASFW_ANY);
    if (!::CreateProcessW(program.toStdWString().c_str(), commandLine.data(), nullptr, nullptr,
                          FALSE, 0, nullptr, folder.toStdWString().c_str(), &startup, &started))
        vb::raise(vb::err::PathFileAccess,
                  QStringLiteral("Impossibile avviare il programma %1: %2")
                      .arg(windowsPath, qt_error_string(int(::GetLastError()))));
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
}

} // namespace ui

#include "platform/ui/host.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ui {

namespace {

// How long a Windows program is watched after its start: Wine that refuses to run ends
// within this time, with an error status, and nothing else would tell the user.
constexpr auto kWatchAfterStart = std::chrono::milliseconds(1500);

bool isWindowsProgram(const QString& hostPath) {
    QFile f(hostPath);
    return f.open(QIODevice::ReadOnly) && f.read(2) == "MZ";
}

[[noreturn]] void cannotStart(const QString& why) {
    vb::raise(vb::err::PathFileAccess, why);
}

// Wine runs only in a prefix owned by the user who starts it, and says so on its own error
// output, which a user never sees: the same test, made first, lets the updater say it.
void checkPrefixIsUsable(const QString& prefix) {
    struct stat info;
    if (prefix.isEmpty() || ::stat(QFile::encodeName(prefix).constData(), &info) != 0) return;
    if (info.st_uid != ::geteuid())
        cannotStart(QStringLiteral("La cartella di Wine %1 appartiene a un altro utente e Wine "
                                   "non la usa per questo utente.\r\nOgni utente ha bisogno di "
                                   "una cartella di Wine propria: chiedi all'amministratore.")
                        .arg(prefix));
}

// Starts `wine program` in its own session, in `folder`, with WINEPREFIX set to the prefix;
// the process is not waited for, but watched for a moment: Wine that ends at once with an
// error is reported. Everything the child needs is made before fork().
void startWithWine(const QString& wine, const QString& hostPath, const QString& prefix) {
    const QByteArray program = QFile::encodeName(wine), target = QFile::encodeName(hostPath);
    const QByteArray folder = QFile::encodeName(QFileInfo(hostPath).absolutePath());
    std::vector<QByteArray> environment;
    for (const QString& entry : QProcessEnvironment::systemEnvironment().toStringList())
        if (!entry.startsWith(QLatin1String("WINEPREFIX=")))
            environment.push_back(entry.toLocal8Bit());
    if (!prefix.isEmpty()) environment.push_back("WINEPREFIX=" + QFile::encodeName(prefix));
    std::vector<char*> envp;
    for (QByteArray& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(target.constData()),
                    nullptr};

    const pid_t pid = ::fork();
    if (pid < 0) cannotStart(QStringLiteral("Impossibile avviare Wine: ") + qt_error_string(errno));
    if (pid == 0) {
        ::setsid();
        if (::chdir(folder.constData()) != 0) ::_exit(126);
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + kWatchAfterStart;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return; // done, or handed over
            cannotStart(QStringLiteral("Wine si è chiuso subito con un errore (%1).\r\nControlla "
                                       "l'installazione di Wine e la sua cartella %2.")
                            .arg(WIFEXITED(status)
                                     ? QStringLiteral("codice %1").arg(WEXITSTATUS(status))
                                     : QStringLiteral("segnale %1").arg(WTERMSIG(status)))
                            .arg(prefix.isEmpty() ? QStringLiteral("~/.wine") : prefix));
        }
        if (ended < 0 && errno != EINTR) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Still running: it goes on on its own, and is reaped by the system when we are gone.
}

} // namespace

void startDetached(const QString& windowsPath) {
    if (!fs::normalFileExists(windowsPath)) vb::raise(vb::err::FileNotFound);
    const QString hostPath = fs::toHost(windowsPath);
    if (isWindowsProgram(hostPath)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            cannotStart(QStringLiteral("È un programma Windows e manca Wine, che serve ad "
                                       "avviarlo.\r\nInstalla il pacchetto \"wine\" (apt install "
                                       "wine) o chiedi all'amministratore."));
        // The program belongs to the prefix of the installation, whatever the user's default.
        const QString prefix = fs::winePrefix();
        checkPrefixIsUsable(prefix);
        startWithWine(wine, hostPath, prefix);
        return;
    }
    QProcess process;
    process.setProgram(hostPath);
    process.setWorkingDirectory(QFileInfo(hostPath).absolutePath());
    if (!process.startDetached())
        cannotStart(QStringLiteral("Impossibile avviare il programma ") + windowsPath);
}

} // namespace ui

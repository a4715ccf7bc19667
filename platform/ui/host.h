#pragma once
// What the program asks of its host: message boxes, the beep, the screen pointer, one pass
// of the event loop, starting a program and ending at once. The window uses the Qt host;
// tests and the diagnostic tool use the scripted one.
#include <QString>
#include <cstdlib>

namespace ui {

enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { None, Critical, Question, Exclamation };
enum class Answer { Ok, Cancel, Yes, No };

constexpr const char* kDefaultTitle = "QunaAgg2";
constexpr int kPointerDefault = 0;
constexpr int kPointerBusy = 11;
constexpr int kWindowNormalFocus = 1;

class Host {
public:
    virtual ~Host() = default;
    virtual Answer messageBox(const QString& text, Buttons buttons, Icon icon) = 0;
    virtual void beep() = 0;
    virtual void setPointer(int pointer) = 0;
    virtual void doEvents() = 0;
    // Starts a program (a Windows path) without waiting; raises 53 when it is missing.
    virtual void startProgram(const QString& windowsPath, int windowStyle) = 0;
    // Ends the process at once: no unload handler runs.
    [[noreturn]] void endProcess() {
        terminate();
        std::abort(); // a host's terminate never returns
    }

protected:
    virtual void terminate() = 0;
};

// Starts a host program without waiting: directly when the host can execute it (a native
// program or a script), a Windows program on another system through Wine in the
// installation's prefix. Raises 53 when the file is missing and 75, saying why (no Wine, a
// prefix of another user, Wine ending at once with an error), when it cannot be started.
void startDetached(const QString& windowsPath);

} // namespace ui

#pragma once
// A scripted host: answers queued by the caller, every call recorded.
#include "host.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <stdexcept>

namespace ui {

// Thrown by the scripted host's endProcess so that a run can stop where the real one would.
struct ProcessEnded : std::runtime_error {
    ProcessEnded() : std::runtime_error("process ended") {}
};

struct ShownMessage {
    QString text;
    Buttons buttons;
    Icon icon;
};

class FakeHost : public Host {
public:
    std::deque<Answer> answers; // taken in order; when empty: Ok, or Yes for a question
    std::vector<ShownMessage> messages;
    QStringList calls; // "beep", "pointer 11", "start PATH 1", "end", "box TEXT"
    int doEventsCount = 0;
    std::function<void()> onDoEvents;
    std::function<void(const QString&)> onMessage; // called as each box is shown
    // When set, startProgram calls it instead of starting anything.
    std::function<void(const QString&)> starter;
    bool realStart = false;

    Answer messageBox(const QString& text, Buttons buttons, Icon icon) override;
    void beep() override { calls << QStringLiteral("beep"); }
    void setPointer(int pointer) override { calls << QStringLiteral("pointer %1").arg(pointer); }
    void doEvents() override;
    void startProgram(const QString& windowsPath, int windowStyle) override;
    void terminate() override;

    QStringList messageTexts() const;
};

} // namespace ui

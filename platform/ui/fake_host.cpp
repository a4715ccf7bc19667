#include "fake_host.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

namespace ui {

Answer FakeHost::messageBox(const QString& text, Buttons buttons, Icon icon) {
    messages.push_back({text, buttons, icon});
    calls << QStringLiteral("box ") + text;
    if (onMessage) onMessage(text);
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

void FakeHost::doEvents() {
    ++doEventsCount;
    if (onDoEvents) onDoEvents();
}

void FakeHost::startProgram(const QString& windowsPath, int windowStyle) {
    calls << QStringLiteral("start %1 %2").arg(windowsPath).arg(windowStyle);
    if (starter) return starter(windowsPath);
    if (realStart) return startDetached(windowsPath);
    if (!fs::normalFileExists(windowsPath)) vb::raise(vb::err::FileNotFound);
}

void FakeHost::terminate() {
    calls << QStringLiteral("end");
    throw ProcessEnded();
}

QStringList FakeHost::messageTexts() const {
    QStringList out;
    for (const ShownMessage& m : messages)
        out << m.text;
    return out;
}

} // namespace ui

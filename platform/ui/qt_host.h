#pragma once
// The host as the real window uses it, over Qt.
#include "host.h"

class QWidget;

namespace ui {

class QtHost : public Host {
public:
    QWidget* parentWindow = nullptr; // message boxes are modal to it
    Answer messageBox(const QString& text, Buttons buttons, Icon icon) override;
    void beep() override;
    void setPointer(int pointer) override;
    void doEvents() override;
    void startProgram(const QString& windowsPath, int windowStyle) override;
    void terminate() override;

private:
    bool busy_ = false;
};

} // namespace ui

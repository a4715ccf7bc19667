#include "qt_host.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

namespace ui {

Answer QtHost::messageBox(const QString& text, Buttons buttons, Icon icon) {
    QMessageBox box(parentWindow);
    box.setWindowTitle(QString::fromLatin1(kDefaultTitle));
    box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setIcon(icon == Icon::Critical      ? QMessageBox::Critical
                : icon == Icon::Question    ? QMessageBox::Question
                : icon == Icon::Exclamation ? QMessageBox::Warning
                                            : QMessageBox::NoIcon);
    // Return answers with the first button (OK, Sì), whatever order the desktop gives them.
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    // Italian captions whatever translations are installed. The question's answers take their
    // initials, with or without Alt, and Escape answers No.
    if (auto* b = box.button(QMessageBox::Cancel)) b->setText(QStringLiteral("Annulla"));
    if (auto* b = box.button(QMessageBox::Yes)) b->setText(QStringLiteral("&Sì"));
    if (auto* b = box.button(QMessageBox::No)) {
        b->setText(QStringLiteral("&No"));
        box.setEscapeButton(b);
    }
    // The busy pointer must not hide the arrow over the box.
    if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int r = box.exec();
    if (busy_) QApplication::restoreOverrideCursor();
    switch (r) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

void QtHost::beep() {
    QApplication::beep();
}

void QtHost::setPointer(int pointer) {
    const bool wantBusy = pointer == kPointerBusy;
    if (wantBusy && !busy_) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!wantBusy && busy_) QApplication::restoreOverrideCursor();
    busy_ = wantBusy;
}

void QtHost::doEvents() {
    QCoreApplication::processEvents();
}

void QtHost::startProgram(const QString& windowsPath, int) {
    startDetached(windowsPath);
}

void QtHost::terminate() {
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace ui

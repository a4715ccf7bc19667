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
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    // Italian captions whatever translations are installed.
    if (auto* b = box.button(QMessageBox::Cancel)) b->setText(QStringLiteral("Annulla"));
    if (auto* b = box.button(QMessageBox::Yes)) b->setText(QStringLiteral("Sì"));
    if (auto* b = box.button(QMessageBox::No)) b->setText(QStringLiteral("No"));
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

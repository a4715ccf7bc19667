// The reference for the start-up benchmark: a bare Qt program that shows one empty window of
// the updater's size and quits as soon as its event loop runs.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(792, 570);
    window.show();
    QTimer::singleShot(0, &application, [] { QCoreApplication::exit(0); });
    return application.exec();
}

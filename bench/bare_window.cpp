// The floor under Belmora's start-up on this machine: a Qt 6 program that
// does nothing but map a window like the banner (borderless, 81 x 28, on
// top, named "Form1"). launch_bench times it as it times belmora, less no tone.
#include <QApplication>
#include <QWidget>

#include <cstdlib>

int main(int, char** argv)
{
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QWidget banner;
    banner.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    banner.setWindowTitle(QStringLiteral("Form1"));
    banner.setGeometry(0, 0, 81, 28);
    banner.show();
    return app.exec();
}

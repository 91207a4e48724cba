// The key probe on the Qt backend (xcb): see key_probe.h.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "key_probe.h"
#include "platform/qt/qt_platform.h"

int main(int, char** argv)
{
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "the key probe needs an X server: run it through key_table_test.sh\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    qt::QtPlatform platform;
    return keyprobe::RunKeyProbe(platform);
}

// Entry point of the Qt backend tests: one QApplication on the X server of
// $DISPLAY for all of them (run_in_session.sh provides a private one).
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/qt/session_env.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "these tests need an X server: run them through run_in_session.sh\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    qt::KeepSessionBusLocal();  // as the program does: no session bus started for the tests
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}

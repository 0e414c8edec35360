#pragma once

#include "platform/session/DesktopIntegration.h"

#include <QTest>

/// main() of a suite that drives the whole application: with the application object and tray the
/// application would choose, named as it, and running on with every window closed, as it does.
#define PINDLE_APP_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char **argv) {                                                              \
        choosePlatform(argc, argv);                                                                \
        const auto app = createApplication(argc, argv);                                            \
        QGuiApplication::setQuitOnLastWindowClosed(false);                                         \
        QCoreApplication::setApplicationName("pindle");                                            \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

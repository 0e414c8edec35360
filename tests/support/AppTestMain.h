#pragma once

#include <QApplication>
#include <QTest>

/// main() of a suite that drives the whole application: with widgets for the tray, named as the
/// application, and running on with every window closed, as the application does.
#define PINDLE_APP_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char **argv) {                                                              \
        QApplication app(argc, argv);                                                              \
        QApplication::setQuitOnLastWindowClosed(false);                                            \
        QCoreApplication::setApplicationName("pindle");                                            \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#pragma once

#include <QApplication>
#include <QStandardPaths>
#include <QtTest>

// QTEST_MAIN, with the per-user settings redirected to Qt's test locations
// before anything can read them: no test reads or writes the user's own.
// CTest also gives every test program a home folder of its own.
#define TAVIRO_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char** argv) {                                                              \
        QStandardPaths::setTestModeEnabled(true);                                                  \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

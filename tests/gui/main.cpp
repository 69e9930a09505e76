// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
bool testsFinished = false;
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The window tests always run headless, also when the build lists them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings (window places and sizes) go to a folder of this process, so
    // that no test sees what another one, or the user, left.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // A command that ends the program (the single-instance guard finding
    // another copy of this test program, Exit) must not pass for success.
    std::atexit([] {
        if (!testsFinished) {
            std::fputs("gui_tests: the program ended before its tests did\n", stderr);
            _exit(1);
        }
    });
    const int result = RUN_ALL_TESTS();
    testsFinished = true;
    return result;
}

// The one QApplication of a test or benchmark program that shows widgets or
// runs the window's event loop, made on first use.
#pragma once

#include <QApplication>

namespace tarnwatch::fakes {

// Never destroyed: tearing it down at exit, after QTest has registered its
// input devices, crashes inside Qt.
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "tarnwatch_test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace tarnwatch::fakes

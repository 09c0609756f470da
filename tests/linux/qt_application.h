#pragma once

#include <stdlib.h>

#include <QApplication>

namespace ruvello {

// One application for the test process, on Qt's window-less platform, made before any widget.
struct OffscreenApplication {
    OffscreenApplication() {
        static int argc = 1;
        static char name[] = "ruvello_linux_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            new QApplication(argc, argv);
        }
    }
};

}  // namespace ruvello

// One QApplication on the offscreen platform for the widget tests.
#pragma once

#include <QApplication>

namespace hg::testing {

inline QApplication& offscreenApp()
{
    static int argc = 1;
    static char name[] = "hushglass-widget-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

} // namespace hg::testing

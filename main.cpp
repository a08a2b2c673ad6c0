// The program: wires the Linux platform and the Qt desktop to the window object, loads the
// window, shows it and runs the event loop. Without a display the same window runs offscreen and
// the program ends by itself once its command line has been carried out.
#include <QApplication>
#include <QByteArray>
#include <cstdio>

#include "ui/frmQuellix.h"
#include "ui/qt/QtDesktop.h"

#if __has_include("platform/linux/LinuxPlatform.h")
#include "platform/linux/LinuxPlatform.h"
#define QUELLIX_HAS_LINUX_PLATFORM 1
#endif

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    const bool headless = !hasDisplay();
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt takes the arguments it knows (-display, -style ...); the rest are the program's.
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quellix");

#ifdef QUELLIX_HAS_LINUX_PLATFORM
    LinuxPlatform platform(argc, argv);
    QtDesktop::Options options;
    options.headless = headless;
    QtDesktop desktop(options);
    frmQuellix window(platform, desktop);
    desktop.attach(window);

    window.Form_Load();
    window.Me.Visible = true;
    desktop.DoEvents();
    // Without a display no one can press a button: the program ends with what it has done.
    if (headless) window.CloseMainWindow();
    QApplication::exec();
    return window.ExitCode;
#else
    std::fputs("Quellix: this build has no Linux platform layer.\n", stderr);
    return ExitSystemPrevented;
#endif
}

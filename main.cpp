// The program: wires the Linux platform and the Qt desktop to the window object, loads the
// window, shows it and runs the event loop. Without a display the same window runs offscreen and
// the program ends by itself once its command line has been carried out.
#include <QApplication>
#include <QSocketNotifier>
#include <string>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/Signals.h"
#include "startup/ConventionalOptions.h"
#include "ui/frmQuellix.h"
#include "ui/qt/QtDesktop.h"

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// --help, --version and --list print and end: they need no display, even where there is one.
bool onlyPrints(int argc, char** argv) {
    std::string arguments;
    for (int i = 1; i < argc; ++i)
        arguments += std::string(argv[i]) + " ";
    return TakeConventionalOption(arguments) != ConventionalOption::None;
}

}  // namespace

int main(int argc, char** argv) {
    TerminationSignals::install();
    LinuxPlatform::provideRuntimeDirectory();
    const bool headless = !hasDisplay() || onlyPrints(argc, argv);
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt takes the arguments it knows (-display, -style ...); the rest are the program's.
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quellix");

    LinuxPlatform platform(argc, argv);
    QtDesktop::Options options;
    options.headless = headless;
    QtDesktop desktop(options);
    frmQuellix window(platform, desktop);
    desktop.attach(window);

    // A termination signal wakes the event loop and is taken up there, at the window's next
    // yield: during a run inside the fill's DoEvents, while idle in the loop below.
    QSocketNotifier wake(TerminationSignals::wakeFd(), QSocketNotifier::Read);
    QObject::connect(&wake, &QSocketNotifier::activated, [&window] {
        if (const int received = TerminationSignals::take(); received > 0) {
            window.SignalReceived(received);
        }
    });

    window.Form_Load();
    window.Me.Visible = true;
    desktop.DoEvents();
    // Without a display no one can press a button: the program ends with what it has done.
    if (headless) window.EndHeadless();
    QApplication::exec();
    return window.ExitCode;
}

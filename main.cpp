// The program: wires the Linux platform and the Qt desktop to the window object, loads the
// window, shows it and runs the event loop. Without a display (or with one that cannot be
// opened) the same window runs offscreen and the program ends by itself once its command line
// has been carried out.
#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/Signals.h"
#include "startup/CommandLineWords.h"
#include "ui/frmQuellix.h"
#include "ui/qt/QtDesktop.h"

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// --help, --version, --list and --dry-run print and end, and a refused option ends at once: they
// need no window, even where there is a display.
bool needsNoWindow(int argc, char** argv) {
    const CommandLineWords words =
        SplitCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    return !words.error.empty() || words.options.onlyPrint();
}

// Lets Qt fall back to working without a window when the display cannot be opened (a display
// that has gone, a stale forwarded one) instead of aborting: the window systems of the user's
// QT_QPA_PLATFORM, or else the desktop's own as Qt would choose it, are tried first, then
// offscreen. True when the fallback was offered (not when offscreen was named already).
bool offerFallback() {
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.contains("offscreen")) return false;
    if (platforms.isEmpty()) {
        // Qt takes Wayland in a Wayland session, except on GNOME, where it takes X.
        const bool wayland = qgetenv("XDG_SESSION_TYPE") == "wayland" &&
                             !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                             !qgetenv("XDG_CURRENT_DESKTOP").toLower().contains("gnome");
        platforms = wayland ? "wayland;xcb" : "xcb;wayland";
    }
    qputenv("QT_QPA_PLATFORM", platforms + ";offscreen");
    return true;
}

// Qt's messages while it opens the display are held back: when it falls back, the program says
// so in one line of its own instead; otherwise, and before Qt gives up altogether, they are
// printed as they came.
std::vector<std::string> heldBack;
void printHeldBack() {
    for (const std::string& line : heldBack)
        std::fprintf(stderr, "%s\n", line.c_str());
    heldBack.clear();
}
void holdBack(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    heldBack.push_back(qFormatLogMessage(type, context, message).toStdString());
    if (type == QtFatalMsg) printHeldBack();
}

}  // namespace

int main(int argc, char** argv) {
    TerminationSignals::install();
    LinuxPlatform::provideRuntimeDirectory();
    bool headless = !hasDisplay() || needsNoWindow(argc, argv);
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool fallbackOffered = !headless && offerFallback();
    const QtMessageHandler previousHandler =
        fallbackOffered ? qInstallMessageHandler(holdBack) : nullptr;
    // Qt takes the arguments it knows (-display, -style ...); the rest are the program's.
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quellix");
    // Offscreen, taken as the fallback or named by the user, shows no window to anyone.
    const bool fellBack = fallbackOffered && QGuiApplication::platformName() == "offscreen";
    headless = headless || QGuiApplication::platformName() == "offscreen";
    if (fallbackOffered) {
        qInstallMessageHandler(previousHandler);
        if (!fellBack) printHeldBack();
    }

    LinuxPlatform platform(argc, argv);
    QtDesktop::Options options;
    options.headless = headless;
    QtDesktop desktop(options);
    if (fellBack) {
        const QByteArray display = qEnvironmentVariableIsEmpty("DISPLAY")
                                       ? qgetenv("WAYLAND_DISPLAY")
                                       : qgetenv("DISPLAY");
        desktop.PrintError("cannot open the display '" + display.toStdString() +
                           "'; going on without a window");
    }
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

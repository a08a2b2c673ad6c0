// Draws the program's icon into PNG files at build time from the window's own artwork, so that
// the repository holds no image: quellix_icon SIZE FILE [SIZE FILE ...]. Run it with
// QT_QPA_PLATFORM=offscreen; it needs no display.
#include <QGuiApplication>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <cstdio>

#include "platform/linux/LinuxPlatform.h"
#include "ui/qt/Artwork.h"

int main(int argc, char** argv) {
    // Builds run as root without a login session: spare Qt's warning about XDG_RUNTIME_DIR.
    LinuxPlatform::provideRuntimeDirectory();
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments().mid(1);
    if (args.isEmpty() || args.size() % 2 != 0) {
        std::fputs("usage: quellix_icon SIZE FILE [SIZE FILE ...]\n", stderr);
        return 2;
    }
    for (qsizetype i = 0; i < args.size(); i += 2) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        if (!ok || size < 16 || size > 1024) {
            std::fprintf(stderr, "quellix_icon: bad size %s\n", qPrintable(args[i]));
            return 2;
        }
        if (!quellixIconPixmap(size).save(args[i + 1], "PNG")) {
            std::fprintf(stderr, "quellix_icon: cannot write %s\n", qPrintable(args[i + 1]));
            return 1;
        }
    }
    return 0;
}

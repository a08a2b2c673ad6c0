// The Qt desktop: yields to Qt's event processing after copying the window object onto the view,
// shows message boxes (or prints them without a display), opens the help viewer and ends the
// process.
#include "ui/qt/QtDesktop.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "ui/frmQuellix.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/Console.h"
#include "ui/qt/QtView.h"
#include "ui/qt/QuellixStyle.h"

namespace {

QString dialogText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

// The texts are broken into lines by their authors, some lines indented. A message box wraps
// a text wider than half the screen once more, which leaves short stubs between the author's
// lines; a label as wide as its longest line keeps them as they are. A box never grows beyond
// 1000 pixels or the screen, icon and margins included.
void keepLineBreaks(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (label == nullptr) return;
    label->ensurePolished();
    label->setWordWrap(false);
    const QScreen* screen = box.screen();
    const int room = std::min(screen != nullptr ? screen->availableGeometry().width() : 1000, 1000);
    constexpr int kIconAndMargins = 120;
    label->setMinimumWidth(std::min(label->sizeHint().width(), room - kIconAndMargins));
}

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

QtDesktop::QtDesktop() : QtDesktop(Options{}) {}

QtDesktop::QtDesktop(Options options) : options_(options) {
    // One look on every desktop: the buttons show their own colours whatever the theme.
    QApplication::setStyle(new QuellixStyle());
    QApplication::setWindowIcon(quellixIcon());
    // The main window never closes by itself; the help viewer closing must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    std::ostream& out = options_.out != nullptr ? *options_.out : std::cout;
    std::istream& in = options_.in != nullptr ? *options_.in : std::cin;
    const bool terminal =
        options_.terminal >= 0 ? options_.terminal != 0 : Console::stdinIsTerminal();
    console_ = std::make_unique<Console>(out, in, terminal,
                                         options_.err != nullptr ? options_.err : &std::cerr);
}

QtDesktop::~QtDesktop() = default;

void QtDesktop::attach(frmQuellix& window) {
    window_ = &window;
    view_ = std::make_unique<QtView>(window);
}

QtView& QtDesktop::view() {
    return *view_;
}

QTextBrowser* QtDesktop::helpViewer() const {
    return help_.get();
}

void QtDesktop::observe() {
    if (view_) view_->sync();
}

RunObserver* QtDesktop::Terminal() {
    return options_.headless ? console_.get() : nullptr;
}

void QtDesktop::DoEvents() {
    // A fill yields after every bulk write: on a fast disk over a thousand times a second, and
    // redrawing the window that often costs more time than the writes. During a run the window
    // is brought up to date and its events handled at most every 20 ms, which is still
    // immediate for the eye and for a click on Stop; a new status text is shown at once.
    constexpr double kRunYieldInterval = 0.02;
    const double now = steadySeconds();
    if (window_ != nullptr && window_->RunInProgress && now - lastYield_ < kRunYieldInterval &&
        window_->lblCurrentStatus.Caption == lastStatus_) {
        return;
    }
    lastYield_ = now;
    if (window_ != nullptr) lastStatus_ = window_->lblCurrentStatus.Caption;
    observe();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int QtDesktop::MsgBox(const std::string& text, int style, const std::string& title) {
    observe();
    if (options_.headless) return console_->messageBox(text, style);

    QMessageBox box(view_ ? view_->form() : nullptr);
    box.setWindowTitle(QString::fromStdString(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(dialogText(text));
    keepLineBreaks(box);
    box.setIcon((style & vbExclamation) == vbExclamation   ? QMessageBox::Warning
                : (style & vbInformation) == vbInformation ? QMessageBox::Information
                                                           : QMessageBox::NoIcon);
    if ((style & vbYesNo) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((style & vbDefaultButton2) != 0 ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (pressed == QMessageBox::Yes) return vbYes;
    if (pressed == QMessageBox::No) return vbNo;
    return vbOK;
}

void QtDesktop::Print(const std::string& line) {
    console_->print(line);
}

void QtDesktop::PrintError(const std::string& line) {
    console_->printError(line);
}

bool QtDesktop::ShowHelp(const std::string& file, int command) {
    if (!help_) {
        help_ = std::make_unique<QTextBrowser>();
        help_->setWindowTitle("Quellix Help");
        help_->setWindowIcon(quellixIcon());
        help_->setOpenExternalLinks(true);
        help_->resize(680, 600);
    }
    const QFileInfo info(QString::fromStdString(file));
    const bool readable = info.isFile() && info.isReadable();
    if (readable) {
        help_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
        // The document opens at its table of contents.
        if (command == HELP_FINDER) help_->scrollToAnchor("contents");
    } else {
        // The viewer says so itself; the program goes on as before.
        help_->setHtml(QString("<h2>Quellix Help</h2><p>The help document could not be opened:</p>"
                               "<p><tt>%1</tt></p><p>It is installed with Quellix; reinstalling "
                               "Quellix puts it back, unless the system leaves documentation "
                               "out.</p>")
                           .arg(QString::fromStdString(file).toHtmlEscaped()));
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
    return readable;
}

std::string QtDesktop::CoveragePicture(const DriveAccount& drive) {
    const QImage image = quellixCoverageMap(drive);
    if (image.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return {};
    return bytes.toStdString();
}

void QtDesktop::endProgram(int status) {
    // The process ends from wherever it is, possibly deep inside Qt's event handling: nothing
    // may unwind through Qt's frames, so the windows go away and the process exits here.
    if (help_) help_->hide();
    if (view_) view_->form()->hide();
    std::cout.flush();
    std::fflush(nullptr);
    std::exit(status);
}

// The Qt view, offscreen: user input reaches the window object's handlers, the widgets show the
// window object's state after a yield, and the window system's requests take the designed paths.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTimer>
#include <QToolTip>
#include <algorithm>

#include "startup/CommandLine.h"
#include "tests/view/ViewWindow.h"

namespace {

bool saw(const std::vector<std::string>& inputs, const std::string& name) {
    return std::find(inputs.begin(), inputs.end(), name) != inputs.end();
}

TEST(View, FirstShowRunsTheResizeHandlerOnce) {
    ViewWindow v;
    QWidget* form = v.view().form();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(std::count(v.inputs.begin(), v.inputs.end(), "Form_Resize"), 1);
    // The resize handler sets the shown background and the window's place.
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(0xF0, 0xF0, 0xF0));
    EXPECT_EQ(form->pos(), QPoint(97, 100));
    EXPECT_EQ(form->size(), QSize(558, 394));
    EXPECT_EQ(form->windowTitle(), "Quellix");
    EXPECT_FALSE(form->windowIcon().isNull());
    v.desktop->DoEvents();
    EXPECT_EQ(std::count(v.inputs.begin(), v.inputs.end(), "Form_Resize"), 1);
}

TEST(View, AClickOnEachButtonReachesItsHandler) {
    ViewWindow v;
    frmQuellix& w = *v.window;

    v.widget<QPushButton>(w.cmdWipe)->click();
    EXPECT_TRUE(saw(v.inputs, "cmdWipe_Click"));

    w.RunInProgress = true;
    v.widget<QPushButton>(w.cmdStop)->click();
    EXPECT_TRUE(w.StopRequested);
    w.RunInProgress = false;

    v.widget<QPushButton>(w.cmdMinimize)->click();
    EXPECT_EQ(w.Me.State, WindowState::Minimized);
    EXPECT_TRUE(v.view().form()->isMinimized());

    v.platform.programDir = QUELLIX_SOURCE_DIR "/resources";
    v.widget<QPushButton>(w.cmdHelp)->click();
    QTextBrowser* help = v.desktop->helpViewer();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->source().fileName(), "Quellix.html");
    EXPECT_TRUE(help->toPlainText().contains("Exit status"));
}

TEST(View, InputReachesItsHandlerWhateverTheControlIsNamed) {
    testApplication();
    FakePlatform platform;
    std::ostringstream out;
    std::istringstream in;
    QtDesktop::Options options;
    options.headless = true;
    options.out = &out;
    options.in = &in;
    options.terminal = 0;
    QtDesktop desktop(options);
    frmQuellix w(platform, desktop);
    const std::vector<Control*> wired{&w.cmdWipe, &w.cmdStop, &w.cmdMinimize, &w.cmdHelp,
                                      &w.chkToolTip};
    for (Control* c : wired)
        c->Name = "renamed";
    desktop.attach(w);
    std::vector<std::string> inputs;
    desktop.view().onInput = [&](const std::string& name) { inputs.push_back(name); };

    for (Control* c : wired) {
        auto* button = dynamic_cast<QAbstractButton*>(desktop.view().widgetOf(*c));
        ASSERT_NE(button, nullptr);
        button->click();
    }
    EXPECT_EQ(inputs,
              (std::vector<std::string>{"cmdWipe_Click", "cmdStop_Click", "cmdMinimize_Click",
                                        "cmdHelp_Click", "chkToolTip_Click"}));
}

TEST(View, ExitButtonEndsTheProcessWithItsStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ViewWindow v;
            v.window->ExitCode = ExitStopped;
            v.widget<QPushButton>(v.window->cmdExit)->click();
        },
        ::testing::ExitedWithCode(ExitStopped), "");
}

TEST(View, ClosingTheWindowTakesTheExitPath) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ViewWindow v;
            v.view().form()->close();
        },
        ::testing::ExitedWithCode(ExitFinished), "");
}

TEST(View, ChecksAndOptionsGoIntoTheWindowObject) {
    ViewWindow v;
    frmQuellix& w = *v.window;

    v.widget<QCheckBox>(w.chkDrive[1])->click();
    EXPECT_EQ(w.chkDrive[1].Value, 1);
    v.widget<QCheckBox>(w.chkExitWhenDone)->click();
    EXPECT_EQ(w.chkExitWhenDone.Value, 1);

    v.widget<QRadioButton>(w.optRandom[4])->click();
    EXPECT_EQ(w.lblRandomPasses.Caption, " 5");
    EXPECT_EQ(v.widget<QLabel>(w.lblRandomPasses)->text(), " 5");
    EXPECT_FALSE(v.widget<QRadioButton>(w.optRandom[1])->isChecked());

    // The tool-tip box runs its handler: the tips appear on the widgets at once.
    v.widget<QCheckBox>(w.chkToolTip)->click();
    EXPECT_EQ(v.widget(w.cmdWipe)->toolTip(), " Starts the Quellix free-space  cleaning cycle ");
    EXPECT_EQ(v.widget(w.chkDrive[0])->toolTip(), "");
    v.widget<QCheckBox>(w.chkToolTip)->click();
    EXPECT_EQ(v.widget(w.cmdWipe)->toolTip(), "");
}

TEST(View, DisabledControlsTakeNoInput) {
    ViewWindow v;
    frmQuellix& w = *v.window;
    w.cmdWipe.Enabled = false;
    w.chkDrive[1].Enabled = false;
    v.desktop->DoEvents();
    v.widget<QPushButton>(w.cmdWipe)->click();
    v.widget<QCheckBox>(w.chkDrive[1])->click();
    EXPECT_FALSE(saw(v.inputs, "cmdWipe_Click"));
    EXPECT_EQ(w.chkDrive[1].Value, 0);
}

TEST(View, WidgetsShowTheWindowObjectAfterAYieldAndOnlyThen) {
    ViewWindow v;
    frmQuellix& w = *v.window;
    w.lblCurrentStatus.Caption = "Filling free-space with selected quotes.";
    w.lblCurrentDrive.Caption = "C:";
    w.lblFillSize.Caption = "1234";
    w.progbarCurrent.Value = 37;
    w.progbarTotal.Value = 12;
    w.cmdWipe.Enabled = false;
    w.chkNewRndTxt.Value = 1;
    w.chkDrive[2].Value = 1;
    w.optRandom_Click(6);
    w.cmdStop.ToolTipText = " Stop tip ";
    w.lblRandom.Visible = false;
    w.Me.Caption = "Quellix (12% done)";

    auto* status = v.widget<QLabel>(w.lblCurrentStatus);
    EXPECT_EQ(status->text().toStdString(), LoadResString(101));
    EXPECT_EQ(v.widget<QProgressBar>(w.progbarCurrent)->value(), 0);

    v.desktop->DoEvents();
    EXPECT_EQ(status->text(), "Filling free-space with selected quotes.");
    EXPECT_EQ(v.widget<QLabel>(w.lblCurrentDrive)->text(), "C:");
    EXPECT_EQ(v.widget<QLabel>(w.lblFillSize)->text(), "1234");
    EXPECT_EQ(v.widget<QProgressBar>(w.progbarCurrent)->value(), 37);
    EXPECT_EQ(v.widget<QProgressBar>(w.progbarTotal)->value(), 12);
    EXPECT_FALSE(v.widget(w.cmdWipe)->isEnabled());
    EXPECT_TRUE(v.widget<QCheckBox>(w.chkNewRndTxt)->isChecked());
    EXPECT_TRUE(v.widget<QCheckBox>(w.chkDrive[2])->isChecked());
    EXPECT_TRUE(v.widget<QRadioButton>(w.optRandom[6])->isChecked());
    EXPECT_EQ(v.widget<QLabel>(w.lblRandomPasses)->text(), " 7");
    EXPECT_EQ(v.widget(w.cmdStop)->toolTip(), " Stop tip ");
    EXPECT_FALSE(v.widget(w.lblRandom)->isVisible());
    EXPECT_EQ(v.view().form()->windowTitle(), "Quellix (12% done)");

    // No option chosen at all is shown as such, although the buttons form one group.
    for (Control& o : w.optRandom)
        o.Value = 0;
    v.desktop->DoEvents();
    for (const Control& o : w.optRandom) {
        EXPECT_FALSE(v.widget<QRadioButton>(o)->isChecked()) << o.Index;
    }
}

TEST(View, DriveBoxesFollowTheDriveCount) {
    ViewWindow v(2);
    frmQuellix& w = *v.window;
    layDrives(w, someDrives(5));
    v.desktop->DoEvents();
    ASSERT_NE(v.widget(w.chkDrive[4]), nullptr);
    EXPECT_EQ(v.widget<QCheckBox>(w.chkDrive[4])->text(), "G: /SRV/DATA4");
    // Left 4468, Top 2150 - 147 x 5 + 295 x 4 = 2595, Width 2000, Height 200 in twips.
    EXPECT_EQ(v.widget(w.chkDrive[4])->geometry(), QRect(298, 173, 133, 13));

    layDrives(w, someDrives(1));
    v.desktop->DoEvents();
    QCoreApplication::processEvents();
    int shown = 0;
    for (auto* box : v.view().form()->findChildren<QCheckBox*>()) {
        if (box->isVisible() && !box->text().isEmpty()) ++shown;
    }
    EXPECT_EQ(shown, 1);
}

TEST(View, RestoringAMovedWindowPutsItBackAtItsPlace) {
    ViewWindow v;
    frmQuellix& w = *v.window;
    QWidget* form = v.view().form();
    form->move(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Me.Left, 4500);
    EXPECT_EQ(w.Me.Top, 3000);

    // Minimised and restored by the window manager: the window object follows each time.
    v.inputs.clear();
    form->setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(w.Me.State, WindowState::Minimized);
    form->setWindowState(Qt::WindowNoState);
    EXPECT_EQ(w.Me.State, WindowState::Normal);
    EXPECT_EQ(std::count(v.inputs.begin(), v.inputs.end(), "Form_Resize"), 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Me.Left, 1455);
    EXPECT_EQ(w.Me.Top, 1500);
    EXPECT_EQ(form->pos(), QPoint(97, 100));
}

TEST(View, MessageBoxesAreModalWithTheTitleAndTheDefaultButton) {
    ViewWindow v(3, false);
    v.window->lblCurrentStatus.Caption = "before the box";
    QString seenText, seenTitle, seenStatus;
    bool noIsDefault = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (box == nullptr || !box->isVisible()) continue;
            seenText = box->text();
            seenTitle = box->windowTitle();
            seenStatus = v.widget<QLabel>(v.window->lblCurrentStatus)->text();
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            box->button(QMessageBox::Yes)->click();
        }
    });
    const int answer =
        v.desktop->MsgBox("first line\r\nsecond line", vbYesNo | vbDefaultButton2, "Quellix");
    EXPECT_EQ(answer, vbYes);
    EXPECT_EQ(seenText, "first line\nsecond line");
    EXPECT_EQ(seenTitle, "Quellix");
    EXPECT_TRUE(noIsDefault);
    EXPECT_EQ(seenStatus, "before the box") << "the window shows its state before the box";
}

// The option help is broken into lines by its author, some of them indented: the box shows
// every line whole, as one line, with the words as they are.
TEST(View, MessageBoxesKeepTheLineBreaksOfTheirText) {
    ViewWindow v(3, false);
    const std::string text = CommandLineHelp();
    QString shown;
    std::vector<std::pair<QString, bool>> lines;  // each line and whether it fits the label
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (box == nullptr || !box->isVisible()) continue;
            const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            if (label != nullptr) {
                shown = label->text();
                const QFontMetrics metrics(label->font());
                for (const QString& line : label->text().split('\n')) {
                    lines.emplace_back(
                        line, metrics.horizontalAdvance(line) <= label->contentsRect().width());
                }
            }
            box->button(QMessageBox::Ok)->click();
        }
    });
    v.desktop->MsgBox(text, vbOKOnly, "Quellix");
    QString expected = QString::fromStdString(text);
    expected.replace("\r\n", "\n");
    EXPECT_EQ(shown, expected);
    ASSERT_GT(lines.size(), 5u);
    for (const auto& [line, fits] : lines)
        EXPECT_TRUE(fits) << line.toStdString();
}

// The window as drive discovery builds it: a greyed drive shows why it cannot be cleaned as its
// tool tip whether tool-tip help is on or off; a drive that can be checked shows help only while
// help is on.
TEST(View, GreyedDrivesSayWhy) {
    ViewWindow v(1);
    frmQuellix& w = *v.window;
    v.platform.addVolume("C:\\", 0, DRIVE_FIXED, "C: /");
    v.platform.addVolume("D:\\", 0, DRIVE_FIXED, "D: /srv/Data");
    v.platform.addVolume("E:\\", 0, DRIVE_REMOVABLE, "E: /media/Stick");
    w.FindDrives();
    v.desktop->DoEvents();
    auto* data = v.widget<QCheckBox>(w.chkDrive[1]);
    auto* stick = v.widget<QCheckBox>(w.chkDrive[2]);
    ASSERT_TRUE(data != nullptr && stick != nullptr);
    EXPECT_FALSE(stick->isEnabled());

    // What the window system shows when the pointer rests on the box. Each check shows another
    // text than the one before, so that none can pass on a tip still on the screen.
    const auto tipOf = [](QWidget* widget) {
        QHelpEvent rest(QEvent::ToolTip, QPoint(4, 4), widget->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(widget, &rest);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const QString reason = "Cannot be cleaned: removable";
    EXPECT_EQ(tipOf(stick), reason);
    EXPECT_EQ(data->toolTip(), "");

    v.widget<QCheckBox>(w.chkToolTip)->click();
    EXPECT_EQ(tipOf(data), QString::fromStdString(LoadResString(155)));
    EXPECT_EQ(tipOf(stick), reason);
    QToolTip::hideText();
}

TEST(View, HeadlessMessageBoxesAndStatusGoToTheTerminal) {
    ViewWindow v;
    EXPECT_EQ(v.desktop->MsgBox("No drives have been selected.  Please select them now.", vbOKOnly,
                                "Quellix"),
              vbOK);
    EXPECT_EQ(v.desktop->MsgBox("EXIT?\r\n\r\n   Press Yes", vbYesNo | vbDefaultButton2, "Quellix"),
              vbNo);
    // A status is told to the terminal when the window shows it, not found in its caption.
    v.window->ShowStatus("Restoring disk free-space.");
    v.window->lblCurrentStatus.Caption = "a caption is not a status line";
    v.desktop->DoEvents();
    EXPECT_EQ(v.out.str(),
              "No drives have been selected.  Please select them now.\n\n"
              "EXIT?\n\n   Press Yes\n(No)\n\nRestoring disk free-space.\n");
}

TEST(View, AHelpDocumentThatIsMissingLeavesTheProgramRunning) {
    ViewWindow v;
    v.platform.programDir = "/nonexistent/quellix";
    v.window->cmdHelp_Click();
    ASSERT_NE(v.desktop->helpViewer(), nullptr);
    EXPECT_TRUE(v.desktop->helpViewer()->toPlainText().contains("could not be opened"));
    EXPECT_TRUE(v.view().form()->isVisible());
}

TEST(View, AccessKeysAndFocusOrderAreTheDesignedOnes) {
    ViewWindow v(2);
    frmQuellix& w = *v.window;
    EXPECT_EQ(v.widget<QPushButton>(w.cmdWipe)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_W));
    EXPECT_EQ(v.widget<QPushButton>(w.cmdStop)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));
    EXPECT_EQ(v.widget<QPushButton>(w.cmdExit)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
    EXPECT_EQ(v.widget<QPushButton>(w.cmdHelp)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_H));
    EXPECT_EQ(v.widget<QPushButton>(w.cmdMinimize)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_M));
    EXPECT_EQ(v.widget<QPushButton>(w.cmdWipe)->text(), "&Wipe");

    const std::vector<const Control*> expected{&w.cmdExit,     &w.cmdWipe,     &w.chkExitWhenDone,
                                               &w.cmdStop,     &w.chkToolTip,  &w.chkNewRndTxt,
                                               &w.chkDrive[0], &w.chkDrive[1], &w.cmdMinimize,
                                               &w.cmdHelp,     &w.optRandom[0]};
    std::vector<QWidget*> wanted;
    for (const Control* c : expected)
        wanted.push_back(v.view().widgetOf(*c));
    std::vector<QWidget*> chain;
    QWidget* at = wanted.front();
    for (int guard = 0; guard < 200 && chain.size() < wanted.size(); ++guard) {
        if (std::find(wanted.begin(), wanted.end(), at) != wanted.end()) chain.push_back(at);
        at = at->nextInFocusChain();
    }
    EXPECT_EQ(chain, wanted);
}

}  // namespace

// The window object on the fake platform shown by the real Qt view, offscreen, with its controls
// as start-up and drive discovery leave them.
#pragma once

#include <QApplication>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "resources/StringTable.h"
#include "startup/DriveLayout.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"
#include "ui/qt/QtDesktop.h"
#include "ui/qt/QtView.h"

// The one application object of the test program.
inline QApplication& testApplication() {
    static int argc = 1;
    static char name[] = "test_view";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// A drive as drive discovery lists it: display text and whether it is a fixed disk.
struct TestDrive {
    std::string text;
    bool fixed = true;
};

// Gives the window the drive boxes of the drives, placed as drive discovery places them.
inline void layDrives(frmQuellix& w, const std::vector<TestDrive>& drives) {
    const int n = static_cast<int>(drives.size());
    w.DriveCount = n;
    w.chkDrive.resize(drives.size(), w.chkDrive[0]);
    for (int i = 0; i < n; ++i) {
        Control& box = w.chkDrive[static_cast<std::size_t>(i)];
        const DriveBoxPlace place = DriveBoxPlaceFor(i, n);
        box.Index = i;
        box.Caption = drives[static_cast<std::size_t>(i)].text;
        box.Tag = box.Caption.substr(0, 2) + "\\";
        box.Enabled = drives[static_cast<std::size_t>(i)].fixed;
        box.Visible = true;
        box.Left = place.left;
        box.Top = place.top;
        box.Width = place.width;
        box.FontSize = place.fontSize;
        box.TabIndex = 6;
    }
}

inline std::vector<TestDrive> someDrives(int count) {
    std::vector<TestDrive> drives;
    for (int i = 0; i < count; ++i) {
        const char letter = static_cast<char>('C' + i);
        std::string text = std::string(1, letter) + ": ";
        text += i == 0 ? "/" : "/SRV/DATA" + std::to_string(i);
        drives.push_back({text, i % 5 != 3});
    }
    return drives;
}

class ViewWindow {
public:
    explicit ViewWindow(int driveCount = 3, bool headless = true) {
        testApplication();
        QtDesktop::Options options;
        options.headless = headless;
        options.out = &out;
        options.in = &in;
        options.terminal = 0;
        desktop = std::make_unique<QtDesktop>(options);
        window = std::make_unique<frmQuellix>(platform, *desktop);
        desktop->attach(*window);
        view().onInput = [this](const std::string& name) { inputs.push_back(name); };

        // What start-up sets before the window is first shown.
        frmQuellix& w = *window;
        w.CaptionMode = 1;
        w.optRandom_Click(1);
        w.imgDisk.Picture = 101;
        w.imgBroom.Picture = 102;
        w.lblCurrentStatus.Caption = LoadResString(101);
        layDrives(w, someDrives(driveCount));
        w.Me.Visible = true;
        desktop->DoEvents();
    }

    QtView& view() { return desktop->view(); }
    template <class T = QWidget>
    T* widget(const Control& c) {
        return dynamic_cast<T*>(view().widgetOf(c));
    }

    FakePlatform platform;
    std::ostringstream out;
    std::istringstream in;
    std::unique_ptr<QtDesktop> desktop;
    std::unique_ptr<frmQuellix> window;
    std::vector<std::string> inputs;
};

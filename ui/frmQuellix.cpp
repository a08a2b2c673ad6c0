// The window object's controls as designed: names, kinds, texts, geometry, colours and fonts.
#include "ui/frmQuellix.h"

namespace {

constexpr std::int32_t kValueBack = 0xFFFFFF;
constexpr std::int32_t kValueFore = 0xC00000;
constexpr std::int32_t kButtonGrey = 0xC0C0C0;
constexpr std::int32_t kRed = 0xFFC0C0;
constexpr std::int32_t kGreen = 0xC0FFC0;
constexpr std::int32_t kYellow = 0xFFFFC0;
constexpr std::int32_t kBlue = 0xC0C0FF;
constexpr std::int32_t kCheckBack = 0xE0E0E0;
// The separators take the colour of an active window's title bar.
constexpr std::int32_t kTitleBar = 0x000080;

Control make(const char* name, ControlKind kind, const char* caption, int left, int top, int width,
             int height) {
    Control c;
    c.Name = name;
    c.Kind = kind;
    c.Caption = caption;
    c.Left = left;
    c.Top = top;
    c.Width = width;
    c.Height = height;
    return c;
}

Control label(const char* name, const char* caption, int left, int top, int width, int height,
              double size = 8.25) {
    Control c = make(name, ControlKind::Label, caption, left, top, width, height);
    c.FontSize = size;
    return c;
}

Control valueLabel(const char* name, int left, int top, int width, int height, double size) {
    Control c = make(name, ControlKind::ValueLabel, "", left, top, width, height);
    c.BackColor = kValueBack;
    c.ForeColor = kValueFore;
    c.FontBold = true;
    c.FontSize = size;
    c.TextAlign = Alignment::Center;
    return c;
}

Control button(const char* name, const char* caption, int left, int top, int width, int height,
               std::int32_t back, double size, bool bold) {
    Control c = make(name, ControlKind::Button, caption, left, top, width, height);
    c.BackColor = back;
    c.FontSize = size;
    c.FontBold = bold;
    return c;
}

Control checkBox(const char* name, int left, int top) {
    Control c = make(name, ControlKind::CheckBox, "", left, top, 192, 192);
    c.BackColor = kCheckBack;
    return c;
}

Control line(const char* name, int x1, int y1, int x2, int y2) {
    Control c = make(name, ControlKind::Line, "", 0, 0, 0, 0);
    c.X1 = x1;
    c.Y1 = y1;
    c.X2 = x2;
    c.Y2 = y2;
    c.ForeColor = kTitleBar;
    return c;
}

Control band(const char* name, int left, int top, int width, int height, std::int32_t colour) {
    Control c = make(name, ControlKind::Frame, "", left, top, width, height);
    c.BackColor = colour;
    return c;
}

Control smallFonts(const char* name, const char* caption, int left, int top, int width,
                   int height) {
    Control c = label(name, caption, left, top, width, height, 5.25);
    c.FontName = "Small Fonts";
    return c;
}

Control progressBar(const char* name, int left, int top, int width, int height) {
    return make(name, ControlKind::ProgressBar, "", left, top, width, height);
}

}  // namespace

frmQuellix::frmQuellix(Platform& platform, Desktop& desktop)
    : platform_(platform), desktop_(desktop) {
    imgDisk = make("imgDisk", ControlKind::Picture, "", 1110, 300, 4965, 495);
    imgBroom = make("imgBroom", ControlKind::Picture, "", 1680, 0, 735, 360);
    lblBits1 = smallFonts("lblBits1", "0  1    1", 1740, 270, 285, 105);
    lblBits1.TextAlign = Alignment::Center;
    lblBits2 = smallFonts("lblBits2", "1     0 0    1      1    0    1", 1530, 360, 765, 105);
    lblBits3 = smallFonts("lblBits3", "0           1   1            0       1         0", 1290, 480,
                          1305, 165);
    cmdHelp = button("cmdHelp", "&Help", 6840, 0, 510, 240, kButtonGrey, 6.75, false);
    cmdMinimize = button("cmdMinimize", "&Minimize", 7440, 0, 690, 240, kButtonGrey, 6.75, false);
    lineTop = line("lineTop", 0, 870, 8460, 870);
    Line3 = line("Line3", 2580, 870, 2580, 3270);
    Line2 = line("Line2", 0, 3300, 8460, 3300);

    lblRandomPasses = valueLabel("lblRandomPasses", 240, 1290, 330, 330, 9.75);
    lblRandom = label("lblRandom", "Random Cycles", 1050, 1110, 1200, 270);
    frameRed = band("frameRed", 660, 1350, 290, 270, kRed);
    frameGreen = band("frameGreen", 950, 1350, 1065, 270, kGreen);
    frameYellow = band("frameYellow", 2010, 1350, 510, 270, kYellow);
    const int optionLeft[7] = {705, 960, 1215, 1485, 1755, 2040, 2310};
    for (int i = 0; i < 7; ++i) {
        Control& o = optRandom[static_cast<std::size_t>(i)];
        o = make("optRandom", ControlKind::OptionButton, "", optionLeft[i], 1380,
                 i == 5 ? 210 : 195, 195);
        o.Index = i;
        o.BackColor = i == 0 ? kRed : (i <= 4 ? kGreen : kYellow);
    }

    chkExitWhenDone = checkBox("chkExitWhenDone", 285, 1920);
    lblExitWhenDone = label("lblExitWhenDone", "Exit When Done", 645, 1920, 1200, 225);
    chkNewRndTxt = checkBox("chkNewRndTxt", 285, 2415);
    lblNewRndTxt = label("lblNewRndTxt", "Create New Random Fill", 645, 2415, 1920, 270);
    chkToolTip = checkBox("chkToolTip", 285, 2910);
    lblToolTip = label("lblToolTip", "Tool Tip Help", 645, 2910, 1035, 225);

    Control drive = make("chkDrive", ControlKind::DriveCheckBox, "", 2700, 975, 2000, 200);
    drive.Index = 0;
    drive.BackColor = 0xF0F0F0;
    drive.FontBold = true;
    drive.FontSize = 7.5;
    drive.Visible = false;
    chkDrive.push_back(drive);
    drvList = make("drvList", ControlKind::DriveList, "", 4335, 2415, 315, 315);
    drvList.Visible = false;

    lblTitleCurrentDrive = label("lblTitleCurrentDrive", "Current Drive:", 1590, 3495, 1245, 240);
    lblCurrentDrive = valueLabel("lblCurrentDrive", 2760, 3450, 330, 330, 11.25);
    lblTitleFillSize = label("lblTitleFillSize", "Drive Fill Size:", 4515, 3495, 1140, 285);
    lblFillSize = valueLabel("lblFillSize", 5595, 3405, 675, 330, 11.25);
    lblTitleMBytes = label("lblTitleMBytes", "MBytes", 6330, 3495, 615, 255);
    lblTitleMBytes.TextAlign = Alignment::Center;
    lblTitleCurrentStatus = label("lblTitleCurrentStatus", "Status:", 780, 4080, 840, 255);
    lblCurrentStatus = valueLabel("lblCurrentStatus", 1410, 3990, 6435, 360, 9.75);
    lblTitleCurrentProgress =
        label("lblTitleCurrentProgress", "Current Cycle:", 240, 4575, 1260, 255);
    progbarCurrent = progressBar("progbarCurrent", 1455, 4620, 6390, 120);
    lblTitleTotal = label("lblTitleTotal", "All Cycles:", 510, 5025, 1050, 255);
    progbarTotal = progressBar("progbarTotal", 1455, 5070, 6390, 120);

    cmdWipe = button("cmdWipe", "&Wipe", 2040, 5385, 1020, 300, kGreen, 7.5, true);
    cmdStop = button("cmdStop", "&Stop", 3810, 5385, 1020, 300, kRed, 7.5, true);
    cmdExit = button("cmdExit", "&Exit", 5550, 5385, 1032, 312, kBlue, 7.5, true);
    comDialog = make("comDialog", ControlKind::CommonDialog, "", 0, 0, 0, 0);
    comDialog.Visible = false;

    // Keyboard focus order; the drive boxes take theirs as they are created (after chkNewRndTxt).
    cmdExit.TabIndex = 0;
    cmdWipe.TabIndex = 1;
    chkExitWhenDone.TabIndex = 2;
    cmdStop.TabIndex = 3;
    chkToolTip.TabIndex = 4;
    chkNewRndTxt.TabIndex = 5;
    chkDrive[0].TabIndex = 6;
    cmdMinimize.TabIndex = 100;
    cmdHelp.TabIndex = 101;
    for (Control& o : optRandom)
        o.TabIndex = 102;
}

std::vector<Control*> frmQuellix::AllControls() {
    std::vector<Control*> all{&imgDisk,         &imgBroom,    &lblBits1, &lblBits2,   &lblBits3,
                              &cmdHelp,         &cmdMinimize, &lineTop,  &Line3,      &Line2,
                              &lblRandomPasses, &lblRandom,   &frameRed, &frameGreen, &frameYellow};
    for (Control& o : optRandom)
        all.push_back(&o);
    for (Control* c : {&chkExitWhenDone, &lblExitWhenDone, &chkNewRndTxt, &lblNewRndTxt,
                       &chkToolTip, &lblToolTip}) {
        all.push_back(c);
    }
    for (Control& d : chkDrive)
        all.push_back(&d);
    for (Control* c : {&drvList, &lblTitleCurrentDrive, &lblCurrentDrive, &lblTitleFillSize,
                       &lblFillSize, &lblTitleMBytes, &lblTitleCurrentStatus, &lblCurrentStatus,
                       &lblTitleCurrentProgress, &progbarCurrent, &lblTitleTotal, &progbarTotal,
                       &cmdWipe, &cmdStop, &cmdExit, &comDialog}) {
        all.push_back(c);
    }
    return all;
}

// A control of the main window as a property object: it holds state only and draws nothing.
// Positions are in twips (15 twips = 1 pixel at 96 dpi).
#pragma once

#include <cstdint>
#include <string>

enum class ControlKind {
    Label,       // transparent, black text
    ValueLabel,  // opaque white box, dark red centred text, single-line border
    Button,
    CheckBox,       // box only, its text is a label beside it
    DriveCheckBox,  // check box with its own caption (the drive boxes)
    OptionButton,
    Picture,
    Line,
    Frame,         // coloured band
    ProgressBar,   // 0 to 100
    DriveList,     // never visible; the source of drive names
    CommonDialog,  // no visible presence; opens the help
};

enum class Alignment { Left, Center };

struct Control {
    std::string Name;
    ControlKind Kind = ControlKind::Label;
    int Index = -1;  // element of a control array, -1 for a single control

    std::string Caption;
    std::string Tag;
    std::string ToolTipText;
    // Why a disabled control cannot be used (a greyed drive box): shown as its tool tip in place
    // of ToolTipText whether tool-tip help is on or not, for a reason is not help.
    std::string DisabledReason;
    int Value = 0;  // check box 0/1, option button 0/1, progress bar 0..100
    bool Enabled = true;
    bool Visible = true;

    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    // A line's end points.
    int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;

    std::string FontName = "Arial";
    double FontSize = 8.25;
    bool FontBold = false;
    Alignment TextAlign = Alignment::Left;
    // Colours as 0xRRGGBB; BackColor < 0 means transparent.
    std::int32_t BackColor = -1;
    std::int32_t ForeColor = 0x000000;
    int Picture = 0;    // bitmap resource id
    int TabIndex = -1;  // keyboard focus order, -1 when the control takes no focus
};

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

// The window itself.
struct FormProperties {
    std::string Caption = "Quellix";
    WindowState State = WindowState::Normal;
    int Left = 1455;
    int Top = 1500;
    int Width = 8460;
    int Height = 6285;
    int ClientWidth = 8370;
    int ClientHeight = 5910;
    std::int32_t BackColor = 0xE0E0E0;
    bool Visible = false;
};

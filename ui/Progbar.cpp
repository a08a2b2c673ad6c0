// The progress display during a fill (both bars and the minimised window's title) and the
// window title by caption mode.
#include "runtime/Numeric.h"
#include "ui/frmQuellix.h"

namespace {

std::int32_t clampPercent(std::int32_t percent) {
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 0;
    return percent;
}

}  // namespace

void frmQuellix::Progbar() {
    ErrorHandler on(platform(), "fQL Progbar");
    std::int32_t current = 0;
    on([&] { current = 100 - CLng(static_cast<double>(FreeSpaceK) * DriveProgressStep); });
    progbarCurrent.Value = clampPercent(current);
    on([&] { PassDoneK = PassStartFreeK - FreeSpaceK; });
    std::int32_t total = 0;
    on([&] { total = CLng(static_cast<double>(DoneBeforePassK + PassDoneK) * TotalProgressStep); });
    total = clampPercent(total);
    progbarTotal.Value = total;
    std::int16_t mode = CaptionPercentDone;
    on([&] { UpdateCaption(mode, total); });
    desktop().DoEvents();
}

void frmQuellix::UpdateCaption(std::int16_t& mode, std::int32_t& percent) {
    if (Me.State == WindowState::Normal) {
        Me.Caption = "Quellix";
        return;
    }
    switch (mode) {
        case CaptionReady:
            Me.Caption = "Quellix (ready)";
            break;
        case CaptionPreparing:
            Me.Caption = "Quellix (text prep)";
            break;
        case CaptionPercentDone:
            Me.Caption = "Quellix (" + std::to_string(percent) + "% done)";
            break;
        default:
            break;  // any other mode leaves the title as it is
    }
}

void frmQuellix::ShowStatus(const std::string& text) {
    lblCurrentStatus.Caption = text;
    if (RunObserver* terminal = desktop().Terminal()) terminal->statusText("", text);
}

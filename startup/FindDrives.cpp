// Drive discovery: one check box per logical drive, only fixed disks selectable, the boxes laid
// out in one, two or three columns.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "resources/StringTable.h"
#include "startup/DriveBox.h"
#include "startup/DriveLayout.h"
#include "startup/DriveState.h"
#include "ui/frmQuellix.h"

namespace {

constexpr std::int32_t kMaxDrives = 24;
const std::string& item(const std::vector<std::string>& items, std::int32_t i) {
    if (i < 0 || static_cast<std::size_t>(i) >= items.size()) Raise(Err::SubscriptOutOfRange);
    return items[static_cast<std::size_t>(i)];
}

// A further element of the box array, made like the run time loads one: a copy of box 0's
// design, unchecked and not yet visible.
void loadBox(frmQuellix& w) {
    Control box = w.chkDrive.front();
    const int index = static_cast<int>(w.chkDrive.size());
    box.Index = index;
    box.Caption.clear();
    box.Tag.clear();
    box.Value = 0;
    box.Visible = false;
    box.TabIndex = w.chkDrive.front().TabIndex + index;
    w.chkDrive.push_back(box);
}

[[noreturn]] void endProgram(frmQuellix& w, ErrorHandler& on, int message) {
    on([&] { w.desktop().ShowError(LoadResString(message) + LoadResString(IdsExiting)); });
    w.ExitCode = ExitSystemPrevented;
    w.CloseMainWindow();
}

}  // namespace

void frmQuellix::FindDrives() {
    ErrorHandler on(platform(), "fQL FindDrives");

    // A list that cannot be read leaves the count as it was; its boxes then find no item and
    // are disabled below.
    std::vector<std::string> items;
    on([&] {
        std::vector<std::string> list = platform().driveList();
        DriveCount = static_cast<std::int32_t>(list.size());
        items = std::move(list);
    });
    if (DriveCount == 0) endProgram(*this, on, IdsNoDrives);
    if (DriveCount > kMaxDrives) endProgram(*this, on, IdsTooManyDrives);

    // The drive set may have changed since the last call (a stick pulled, a volume mounted):
    // new drives get boxes of their own. At most 24 boxes ever exist, so reserving them keeps
    // every box at its place in memory.
    on([&] { chkDrive.reserve(kMaxDrives); });
    while (static_cast<std::int32_t>(chkDrive.size()) < DriveCount) {
        if (!on([&] { loadBox(*this); })) break;
    }

    for (std::int32_t i = 0; i < DriveCount; ++i) {
        std::string previous;
        on([&] { previous = DriveBox(*this, i).Caption; });
        // The letter in upper case and the mount point as it is: in another case it would name
        // another path.
        on([&] {
            const std::string& text = item(items, i);
            DriveBox(*this, i).Caption =
                UpperCase(text.substr(0, 2)) + (text.size() > 2 ? text.substr(2) : "");
        });
        on([&] { DriveBox(*this, i).Tag = UpperCase(item(items, i).substr(0, 2)) + "\\"; });
        // A check mark belongs to the drive it was given for: where another drive now sits at
        // this place, the box starts unchecked.
        on([&] {
            Control& box = DriveBox(*this, i);
            if (!previous.empty() && box.Caption != previous) box.Value = 0;
        });
    }

    for (std::int32_t i = 0; i < DriveCount; ++i) {
        // A type that cannot be read counts as unknown, never as the previous drive's type.
        DriveType type = DRIVE_UNKNOWN;
        on([&] { type = platform().driveType(DriveBox(*this, i).Tag); });
        bool selectable = false;
        on([&] { selectable = item(items, i).size() > 2 && type == DRIVE_FIXED; });
        // A fixed disk whose top directory this process may not write could take no fill file:
        // a run on it would write nothing.
        if (selectable) on([&] { selectable = platform().mayCreateFiles(DriveBox(*this, i).Tag); });
        // The run fills every checked box, enabled or not, so a drive that is no longer
        // selectable also loses its check mark.
        on([&] {
            Control& box = DriveBox(*this, i);
            box.Enabled = selectable;
            if (!selectable) box.Value = 0;
        });
        // A greyed box says why, in the words of the drive table.
        on([&] {
            Control& box = DriveBox(*this, i);
            box.DisabledReason.clear();
            if (selectable) return;
            const std::string why = WhyNotCleanable(platform(), item(items, i), type,
                                                    [&] { return platform().driveFacts(box.Tag); });
            if (!why.empty()) box.DisabledReason = "Cannot be cleaned: " + why;
        });
        on([&] { DriveBox(*this, i).Visible = true; });
    }

    for (std::int32_t i = 0; i < DriveCount; ++i) {
        const DriveBoxPlace place = DriveBoxPlaceFor(i, DriveCount);
        on([&] {
            Control& box = DriveBox(*this, i);
            box.Left = place.left;
            box.Top = place.top;
            box.Width = place.width;
            box.FontSize = place.fontSize;
        });
    }

    // Boxes of drives that have gone since the last call.
    for (std::size_t i = static_cast<std::size_t>(DriveCount); i < chkDrive.size(); ++i) {
        Control& box = chkDrive[i];
        box.Visible = false;
        box.Value = 0;
        box.Enabled = false;
    }
}

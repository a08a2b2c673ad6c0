// Drive discovery: boxes, selectability, the column layout, the limits and changed drive sets.
#include <algorithm>
#include <vector>

#include "tests/startup/StartupTest.h"

namespace {

using FindDrives = StartupTest;

// The drive boxes grouped into columns by their Left, in box order.
struct Column {
    int left = 0;
    std::vector<int> tops;
};

std::vector<Column> columnsOf(const frmQuellix& w) {
    std::vector<Column> columns;
    for (int i = 0; i < w.DriveCount; ++i) {
        const Control& box = w.chkDrive[static_cast<std::size_t>(i)];
        if (columns.empty() || columns.back().left != box.Left) columns.push_back({box.Left, {}});
        columns.back().tops.push_back(box.Top);
    }
    return columns;
}

TEST_F(FindDrives, FloppyFixedAndOpticalGiveOneColumnWithOnlyTheFixedDiskSelectable) {
    platform.addVolume("A:\\", 0, DRIVE_REMOVABLE, "A: /media/floppy");
    platform.addVolume("C:\\", 0, DRIVE_FIXED, "C: /");
    platform.addVolume("D:\\", 0, DRIVE_CDROM, "D: /media/cdrom");

    EXPECT_EQ(findDrives(), std::nullopt);

    EXPECT_EQ(w.DriveCount, 3);
    ASSERT_EQ(w.chkDrive.size(), 3u);
    const std::vector<int> tops{1709, 2004, 2299};
    for (int i = 0; i < 3; ++i) {
        const Control& box = w.chkDrive[static_cast<std::size_t>(i)];
        EXPECT_EQ(box.Left, 4468);
        EXPECT_EQ(box.Top, tops[static_cast<std::size_t>(i)]);
        EXPECT_EQ(box.Width, 2000);
        EXPECT_EQ(box.FontSize, 7.5);
        EXPECT_TRUE(box.Visible);
        EXPECT_EQ(box.Index, i);
        EXPECT_EQ(box.Enabled, i == 1) << i;
    }
    EXPECT_EQ(w.chkDrive[1].Tag, "C:\\");
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_TRUE(platform.errLog().empty());
}

TEST_F(FindDrives, ColumnsFollowTheDriveCountWithHalvesRoundedToEven) {
    struct Case {
        int drives;
        std::vector<int> rows;
        std::vector<int> lefts;
        int width;
        double fontSize;
    };
    const std::vector<Case> cases{
        {1, {1}, {4468}, 2000, 7.5},
        {8, {8}, {4468}, 2000, 7.5},
        {9, {4, 5}, {3500, 6000}, 2000, 7.5},
        {11, {6, 5}, {3500, 6000}, 2000, 7.5},
        {13, {6, 7}, {3500, 6000}, 2000, 7.5},
        {15, {8, 7}, {3500, 6000}, 2000, 7.5},
        {16, {8, 8}, {3500, 6000}, 2000, 7.5},
        {17, {6, 6, 5}, {2650, 4600, 6500}, 1800, 6},
        {19, {6, 6, 7}, {2650, 4600, 6500}, 1800, 6},
        {20, {7, 7, 6}, {2650, 4600, 6500}, 1800, 6},
        {23, {8, 8, 7}, {2650, 4600, 6500}, 1800, 6},
        {24, {8, 8, 8}, {2650, 4600, 6500}, 1800, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drives);
        FakePlatform p;
        FakeDesktop d;
        frmQuellix x(p, d);
        for (int i = 0; i < c.drives; ++i) {
            const std::string letter(1, static_cast<char>('C' + i));
            p.addVolume(letter + ":\\", 0, DRIVE_FIXED, letter + ": /v" + letter);
        }
        x.FindDrives();

        const std::vector<Column> columns = columnsOf(x);
        ASSERT_EQ(columns.size(), c.rows.size());
        const int k = c.rows.front();
        for (std::size_t col = 0; col < columns.size(); ++col) {
            EXPECT_EQ(columns[col].left, c.lefts[col]);
            ASSERT_EQ(columns[col].tops.size(), static_cast<std::size_t>(c.rows[col]));
            for (std::size_t r = 0; r < columns[col].tops.size(); ++r) {
                EXPECT_EQ(columns[col].tops[r], 2150 - 147 * k + 295 * static_cast<int>(r));
            }
        }
        for (const Control& box : x.chkDrive) {
            EXPECT_EQ(box.Width, c.width);
            EXPECT_EQ(box.FontSize, c.fontSize);
            EXPECT_TRUE(box.Visible);
            EXPECT_TRUE(box.Enabled);
        }
    }
}

TEST_F(FindDrives, TwentyFourDrivesStartAtTop974) {
    addDrives(24);
    EXPECT_EQ(findDrives(), std::nullopt);
    EXPECT_EQ(w.DriveCount, 24);
    EXPECT_EQ(w.chkDrive[0].Top, 974);
    EXPECT_EQ(w.chkDrive[8].Top, 974);
    EXPECT_EQ(w.chkDrive[16].Top, 974);
    EXPECT_EQ(w.chkDrive[23].Top, 974 + 7 * 295);
    EXPECT_EQ(w.chkDrive[23].Tag, "Z:\\");
}

TEST_F(FindDrives, TwentyFiveDrivesEndTheProgram) {
    addDrives(25, 'A');
    EXPECT_EQ(findDrives(), ExitSystemPrevented);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text,
              "I'm sorry but there are in excess of 24 logical drives.  Now Exiting Quellix.");
    EXPECT_EQ(desktop.boxes[0].style, vbOKOnly);
    EXPECT_EQ(desktop.boxes[0].title, "Quellix");
    EXPECT_EQ(w.chkDrive.size(), 1u);
}

TEST_F(FindDrives, NoDriveEndsTheProgram) {
    EXPECT_EQ(findDrives(), ExitSystemPrevented);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text,
              "I'm sorry but Quellix did not detect any logical drives.  Now Exiting Quellix.");
    EXPECT_EQ(desktop.boxes[0].title, "Quellix");
}

// A mount point in another case would name another path: only the letter is upper-cased.
TEST_F(FindDrives, CaptionsShowMountPointsAsTheyAreAndTagsAreRootPaths) {
    platform.addVolume("C:\\", 0, DRIVE_FIXED, "c: /");
    platform.addVolume("D:\\", 0, DRIVE_FIXED, "d: /home/Data Disk");
    platform.addVolume("E:\\", 0, DRIVE_FIXED, "e: /mnt/caf\xc3\xa9");
    w.FindDrives();
    EXPECT_EQ(w.chkDrive[0].Caption, "C: /");
    EXPECT_EQ(w.chkDrive[1].Caption, "D: /home/Data Disk");
    EXPECT_EQ(w.chkDrive[2].Caption, "E: /mnt/caf\xc3\xa9");
    for (const Control& box : w.chkDrive) {
        ASSERT_EQ(box.Tag.size(), 3u) << box.Caption;
        EXPECT_EQ(box.Tag.substr(1), ":\\");
        EXPECT_TRUE(box.Tag[0] >= 'A' && box.Tag[0] <= 'Z');
    }
}

// Only writable fixed disks with more than their letter can be selected; every other box is
// greyed and says why in the words of the drive table. What the type tells is never asked of
// the drive itself: a network share may not answer.
TEST_F(FindDrives, OnlyWritableFixedDisksAreSelectableAndGreyedBoxesSayWhy) {
    struct Case {
        std::string display;
        DriveType type;
        std::string reason;  // after "Cannot be cleaned: "; empty: selectable
        bool writable = true;
        bool mounted = true;
        bool readOnly = false;
    };
    const std::vector<Case> cases{
        {"C: /", DRIVE_FIXED, ""},
        {"D:", DRIVE_FIXED, "not a mount point"},
        {"E: /net", DRIVE_REMOTE, "network"},
        {"F: /ram", DRIVE_RAMDISK, "RAM disk"},
        {"G: /odd", DRIVE_UNKNOWN, "no local disk of its own"},
        {"H: /gone", DRIVE_NO_ROOT_DIR, "not a mount point", true, false},
        {"I: /media/Stick", DRIVE_REMOVABLE, "removable"},
        {"J: /media/cd", DRIVE_CDROM, "optical disc"},
        {"K: /srv/ro", DRIVE_UNKNOWN, "read-only", true, true, true},
        {"L: /srv/theirs", DRIVE_FIXED, "not writable by this user", false},
    };
    for (const Case& c : cases) {
        FakePlatform::Volume& v =
            platform.addVolume(c.display.substr(0, 2) + "\\", 0, c.type, c.display);
        v.writable = c.writable;
        v.facts.mounted = c.mounted;
        v.facts.readOnly = c.readOnly;
    }
    w.FindDrives();
    ASSERT_EQ(w.DriveCount, static_cast<std::int32_t>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Control& box = w.chkDrive[i];
        EXPECT_EQ(box.Enabled, cases[i].reason.empty()) << box.Caption;
        EXPECT_EQ(box.DisabledReason,
                  cases[i].reason.empty() ? "" : "Cannot be cleaned: " + cases[i].reason)
            << box.Caption;
        EXPECT_TRUE(box.Visible) << box.Caption;
    }
    for (const char* asked : {"E:\\", "F:\\", "I:\\", "J:\\", "C:\\"}) {
        EXPECT_EQ(std::count(platform.factsAsked.begin(), platform.factsAsked.end(), asked), 0)
            << asked;
    }

    // A drive that can be cleaned again loses its reason.
    platform.volume("L:\\").writable = true;
    w.FindDrives();
    EXPECT_TRUE(w.chkDrive[9].Enabled);
    EXPECT_EQ(w.chkDrive[9].DisabledReason, "");
    EXPECT_TRUE(platform.errLog().empty());
}

TEST_F(FindDrives, NewBoxesAreMadeFromTheFirstBoxsDesign) {
    addDrives(3);
    w.FindDrives();
    ASSERT_EQ(w.chkDrive.size(), 3u);
    const Control& first = w.chkDrive[0];
    for (int i = 1; i < 3; ++i) {
        const Control& box = w.chkDrive[static_cast<std::size_t>(i)];
        EXPECT_EQ(box.Name, "chkDrive");
        EXPECT_EQ(box.Index, i);
        EXPECT_EQ(box.Kind, ControlKind::DriveCheckBox);
        EXPECT_EQ(box.FontBold, first.FontBold);
        EXPECT_EQ(box.BackColor, first.BackColor);
        EXPECT_EQ(box.Height, first.Height);
        EXPECT_EQ(box.TabIndex, first.TabIndex + i);
        EXPECT_EQ(box.Value, 0);
    }
}

TEST_F(FindDrives, ARepeatCallMakesNoBoxesAndKeepsTheCheckMarks) {
    addDrives(3);
    w.FindDrives();
    w.chkDrive[1].Value = 1;
    // The run disables every box while it works; the next call enables them again.
    for (Control& box : w.chkDrive)
        box.Enabled = false;
    w.FindDrives();
    EXPECT_EQ(w.chkDrive.size(), 3u);
    EXPECT_EQ(checkedDrives(), "D");
    for (const Control& box : w.chkDrive)
        EXPECT_TRUE(box.Enabled);
    EXPECT_TRUE(platform.errLog().empty());
}

TEST_F(FindDrives, NewDrivesGetBoxesOfTheirOwn) {
    addDrives(2);
    w.FindDrives();
    w.chkDrive[1].Value = 1;
    addDrives(2, 'E');
    w.FindDrives();
    ASSERT_EQ(w.DriveCount, 4);
    ASSERT_EQ(w.chkDrive.size(), 4u);
    EXPECT_EQ(w.chkDrive[3].Caption, "F: /mnt/F");
    EXPECT_EQ(w.chkDrive[3].Tag, "F:\\");
    EXPECT_TRUE(w.chkDrive[3].Visible);
    EXPECT_TRUE(w.chkDrive[3].Enabled);
    EXPECT_EQ(checkedDrives(), "D");
    EXPECT_EQ(w.chkDrive[3].Top, 2150 - 147 * 4 + 3 * 295);
    EXPECT_TRUE(platform.errLog().empty());
}

TEST_F(FindDrives, BoxesOfDrivesThatWentAreHiddenAndUnchecked) {
    addDrives(4);
    w.FindDrives();
    w.chkDrive[0].Value = 1;
    w.chkDrive[3].Value = 1;
    removeDrive("E:\\");
    removeDrive("F:\\");
    w.FindDrives();
    EXPECT_EQ(w.DriveCount, 2);
    ASSERT_EQ(w.chkDrive.size(), 4u);
    for (std::size_t i = 2; i < 4; ++i) {
        EXPECT_FALSE(w.chkDrive[i].Visible);
        EXPECT_FALSE(w.chkDrive[i].Enabled);
        EXPECT_EQ(w.chkDrive[i].Value, 0);
    }
    EXPECT_EQ(checkedDrives(), "C");
    EXPECT_EQ(w.chkDrive[0].Top, 2150 - 147 * 2);
}

TEST_F(FindDrives, ACheckMarkDoesNotPassToAnotherDriveOrToAnUnselectableOne) {
    platform.addVolume("C:\\", 0, DRIVE_FIXED, "C: /");
    platform.addVolume("D:\\", 0, DRIVE_FIXED, "D: /mnt/a");
    platform.addVolume("E:\\", 0, DRIVE_FIXED, "E: /mnt/b");
    w.FindDrives();
    for (Control& box : w.chkDrive)
        box.Value = 1;
    // /mnt/a is unmounted: /mnt/b moves up to D:, and C: stops being a fixed disk.
    removeDrive("E:\\");
    platform.volume("D:\\").display = "D: /mnt/b";
    platform.volume("C:\\").type = DRIVE_NO_ROOT_DIR;
    w.FindDrives();
    EXPECT_EQ(checkedDrives(), "");
    EXPECT_FALSE(w.chkDrive[0].Enabled);
    EXPECT_TRUE(w.chkDrive[1].Enabled);
}

TEST_F(FindDrives, AShrunkSetLeavingThreeColumnsGetsTheDesignedFontBack) {
    addDrives(20);
    w.FindDrives();
    EXPECT_EQ(w.chkDrive[0].FontSize, 6);
    for (char letter = 'M'; letter <= 'V'; ++letter)
        removeDrive(std::string(1, letter) + ":\\");
    w.FindDrives();
    ASSERT_EQ(w.DriveCount, 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(w.chkDrive[static_cast<std::size_t>(i)].FontSize, 7.5);
        EXPECT_EQ(w.chkDrive[static_cast<std::size_t>(i)].Width, 2000);
    }
}

}  // namespace

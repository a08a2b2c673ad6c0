// The fixture of the start-up tests: a window object on the fake platform and desktop.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

class StartupTest : public ::testing::Test {
protected:
    StartupTest() { desktop.attach(w); }

    // Runs the start-up sequence; the exit status when the program ended, nothing otherwise.
    std::optional<int> load() {
        try {
            w.Form_Load();
        } catch (const ProgramEnded& e) {
            return e.status;
        }
        return std::nullopt;
    }

    std::optional<int> findDrives() {
        try {
            w.FindDrives();
        } catch (const ProgramEnded& e) {
            return e.status;
        }
        return std::nullopt;
    }

    // n drives of one type, from the given letter on.
    void addDrives(int n, char first = 'C', DriveType type = DRIVE_FIXED) {
        for (int i = 0; i < n; ++i) {
            const std::string letter(1, static_cast<char>(first + i));
            platform.addVolume(letter + ":\\", 0, type, letter + ": /mnt/" + letter);
        }
    }

    void removeDrive(const std::string& root) {
        platform.volumes.erase(root);
        std::erase(platform.driveOrder, root);
    }

    // The letters of the checked drive boxes, in box order ("CD").
    std::string checkedDrives() const {
        std::string letters;
        for (const Control& box : w.chkDrive) {
            if (box.Value == 1) letters += box.Tag.substr(0, 1);
        }
        return letters;
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : desktop.boxes)
            texts.push_back(box.text);
        return texts;
    }

    FakePlatform platform;
    FakeDesktop desktop;
    frmQuellix w{platform, desktop};
};

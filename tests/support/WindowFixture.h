// A window object on the fakes, ready for a run: drives with check boxes, the start-up defaults
// the run relies on, and fill blocks of full length so that the fill can run without PrepBlocks.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/FakeDesktop.h"
#include "tests/support/ProbingPlatform.h"
#include "ui/frmQuellix.h"

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() : w(p, d) {
        d.attach(w);
        w.SwapFileName = "pagefile.sys";
        w.SwapFileCheckPending = true;
        w.CaptionMode = 1;
        w.optRandom_Click(1);
        w.lblCurrentStatus.Caption = "Ready to clean free-space in the drives checked above.";
        w.chkDrive.clear();
        // PrepBlocks builds the fill sets of a run from these; without quotes it stops the run.
        p.hostFiles[p.programDir + "/QuellixQuotes.sav"] = "Alpha\r\nBeta\r\nend\r\n";
        // What an earlier test's error log lost is not this window's to say.
        TakeLostLogLines();
    }

    // Adds a fixed drive with its box, checked unless told otherwise.
    FakePlatform::Volume& addDrive(const std::string& root, std::uint64_t freeBytes,
                                   bool checked = true) {
        FakePlatform::Volume& v = p.addVolume(root, freeBytes);
        Control box;
        box.Name = "chkDrive";
        box.Kind = ControlKind::DriveCheckBox;
        box.Index = static_cast<int>(w.chkDrive.size());
        // As drive discovery shows it: the list's text, its letter upper-case.
        box.Caption = v.display;
        box.Tag = root;
        box.Value = checked ? 1 : 0;
        w.chkDrive.push_back(box);
        w.DriveCount = static_cast<std::int32_t>(w.chkDrive.size());
        return v;
    }

    void fillBlocks() { FillTestBlocks(w.Blocks); }
    int writesTo(const std::string& path, std::size_t size) const { return p.writesTo(path, size); }
    std::array<std::size_t, 5> stageWrites(std::size_t passProbe) const {
        return p.stageWrites(passProbe);
    }
    bool created(const std::string& path) const { return p.created(path); }

    ProbingPlatform p;
    FakeDesktop d;
    frmQuellix w;
};

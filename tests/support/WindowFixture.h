// A window object on the fakes, ready for a run: drives with check boxes, the start-up defaults
// the run relies on, and fill blocks of full length so that the fill can run without PrepBlocks.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

// The fake platform, also noting how many fill writes had been made at each probe, so that a
// test can tell the stages of a pass apart (every stage starts with a probe).
class ProbingPlatform : public FakePlatform {
public:
    bool diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) override {
        writesAtProbe.push_back(writes.size());
        return FakePlatform::diskFreeSpaceEx(root, totalFreeBytes);
    }
    std::vector<std::size_t> writesAtProbe;
};

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() : w(p, d) {
        d.attach(w);
        w.SwapFileName = "pagefile.sys";
        w.SwapFileCheckPending = true;
        w.CaptionMode = 1;
        w.lblRandomPasses.Caption = " 2";
        w.optRandom[1].Value = 1;
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

    // Both fill sets, every element of full length and of its own byte, so that a write can be
    // traced to its block by its data pointer.
    void fillBlocks() {
        auto set = [](BlockArray& a, std::size_t size, char first) {
            for (std::size_t k = 1; k <= 3; ++k) {
                a[k] = Block(size, static_cast<char>(first + static_cast<int>(k)));
            }
        };
        set(w.RandomBlock960000, 960000, 'a');
        set(w.RandomBlock96000, 96000, 'd');
        set(w.RandomBlock960, 960, 'g');
        set(w.RandomBlock16, 16, 'j');
        set(w.QuoteBlock960000, 960000, 'A');
        set(w.QuoteBlock96000, 96000, 'D');
        set(w.QuoteBlock960, 960, 'G');
        set(w.QuoteBlock16, 16, 'J');
    }

    // Fill writes of the given size to the given file ("C:\random01.qlk").
    int writesTo(const std::string& path, std::size_t size) const {
        int n = 0;
        for (const auto& write : p.writes) {
            if (write.path == path && write.size == size) ++n;
        }
        return n;
    }

    // The writes of stages A to E of a pass whose first probe (the one at the start of the pass)
    // was probe number passProbe, counting from 0. Every stage starts with a probe, and the pass
    // probes once more after its last stage.
    std::array<std::size_t, 5> stageWrites(std::size_t passProbe) const {
        std::array<std::size_t, 5> n{};
        const auto& at = p.writesAtProbe;
        for (std::size_t s = 0; s < 5; ++s) {
            const std::size_t end =
                passProbe + s + 1 < at.size() ? at[passProbe + s + 1] : p.writes.size();
            n[s] = end - at.at(passProbe + s);
        }
        return n;
    }

    // Whether a fill file of that path was ever created.
    bool created(const std::string& path) const {
        for (const auto& [handle, fill] : p.fills) {
            if (fill.path == path) return true;
        }
        return false;
    }

    ProbingPlatform p;
    FakeDesktop d;
    frmQuellix w;
};

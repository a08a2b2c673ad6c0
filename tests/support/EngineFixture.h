// The wipe engine on the fakes: a plan, the fake platform as its fill target, and an observer
// that records what the engine tells and runs scripted actions where the window would yield.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ProbingPlatform.h"
#include "wipe/DriveFill.h"
#include "wipe/WipeRun.h"

class RecordingObserver : public RunObserver {
public:
    struct Message {
        std::string text;
        int style;
    };

    // Runs at every event where the window yields (and takes up Stop and Exit).
    std::function<void()> everyYield;
    // The answers the next questions get; without one, the default button.
    std::deque<int> answers;

    std::vector<std::string> statusLines;  // every change of the status text
    std::vector<DriveProgress> drivesStarted;
    std::vector<DriveProgress> passesStarted;
    std::vector<std::string> drivesDone;
    std::vector<Message> messages;
    std::vector<int> preparingPercents;
    int yields = 0;
    int runsStarted = 0;

    void runStarted(const WipePlan&) override { ++runsStarted; }
    void driveStarted(const DriveProgress& drive) override { drivesStarted.push_back(drive); }
    void passStarted(const DriveProgress& drive) override {
        passesStarted.push_back(drive);
        yielded();
    }
    void progress(const DriveProgress&) override { yielded(); }
    void preparing(int percent) override {
        preparingPercents.push_back(percent);
        yielded();
    }
    void statusText(const std::string&, const std::string& text) override {
        if (statusLines.empty() || statusLines.back() != text) statusLines.push_back(text);
        yielded();
    }
    int message(const std::string& text, int style) override {
        messages.push_back({text, style});
        if ((style & vbYesNo) != vbYesNo) return vbOK;
        if (answers.empty()) return (style & vbDefaultButton2) != 0 ? vbNo : vbYes;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void yield() override { yielded(); }
    void driveDone(const DriveAccount& drive) override { drivesDone.push_back(drive.root); }

private:
    void yielded() {
        ++yields;
        if (everyYield) everyYield();
    }
};

class EngineFixture : public ::testing::Test {
protected:
    EngineFixture() { plan.askSwapQuestion = true; }

    // Adds a fixed drive to the fakes and to the plan.
    FakePlatform::Volume& addDrive(const std::string& root, std::uint64_t freeBytes) {
        plan.drives.push_back(root);
        return p.addVolume(root, freeBytes);
    }
    void fillBlocks() { FillTestBlocks(sets); }

    // The run of the plan as it stands when first asked for.
    WipeRun& run() {
        if (!run_) run_ = std::make_unique<WipeRun>(plan, target, p, observer, account, random);
        return *run_;
    }

    // One drive's fill cycle; the fill's handles and disk-full state as it ended are kept.
    void FillCycles(const std::string& root) {
        DriveFill fill(run(), sets, root, account.drives[account.index(root)], random);
        fill.FillCycles();
        handle00 = fill.FillFileHandle00;
        handle01 = fill.FillFileHandle01;
        diskFull = fill.DiskFull;
    }

    int writesTo(const std::string& path, std::size_t size) const { return p.writesTo(path, size); }
    std::array<std::size_t, 5> stageWrites(std::size_t passProbe) const {
        return p.stageWrites(passProbe);
    }
    bool created(const std::string& path) const { return p.created(path); }

    ProbingPlatform p;
    PlatformTarget target{p};
    RecordingObserver observer;
    RunAccount account;
    Rnd random;
    WipePlan plan;
    FillSets sets;
    FillHandle handle00 = -1;
    FillHandle handle01 = -1;
    bool diskFull = true;

private:
    std::unique_ptr<WipeRun> run_;
};

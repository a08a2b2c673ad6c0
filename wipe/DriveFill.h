// One drive's fill: the random passes and the quotes pass, each filling the drive to within a
// few bytes with a bulk and a tail fill file in five counted stages, then removing them again.
// It owns everything of that drive's fill (its handles, free-space figures, disk-full state)
// and writes its account; several drives fill at once with one DriveFill each.
#pragma once

#include <cstdint>
#include <string>

#include "log/ErrorLog.h"
#include "platform/Platform.h"
#include "runtime/Rnd.h"
#include "wipe/FillSets.h"
#include "wipe/FreeSpaceProbe.h"
#include "wipe/ReadBack.h"
#include "wipe/RunAccount.h"
#include "wipe/RunObserver.h"
#include "wipe/WipePlan.h"

class DriveFill;

// What a drive's fill shares with the run it belongs to (WipeRun): the plan, the disks, where its
// errors and events go, the stop request and the probe, and a register of the fills under way.
class FillContext {
public:
    virtual const WipePlan& plan() const = 0;
    virtual FillTarget& target() = 0;
    virtual const ErrorLogSink& log() const = 0;
    virtual RunObserver& observer() = 0;
    virtual bool stopRequested() const noexcept = 0;
    // Probes a drive; false (and the run ends) when the run cannot go on.
    virtual bool probe(const std::string& root, FreeSpace& space) = 0;
    // Percent of the whole run per thousand bytes written.
    virtual double totalProgressStep() const = 0;
    // A drive's fill, while it runs.
    virtual void enlist(DriveFill& fill) = 0;
    virtual void delist(DriveFill& fill) = 0;

protected:
    ~FillContext() = default;
};

class DriveFill {
public:
    // The drive's root ("C:\"); random chooses the block of every write.
    DriveFill(FillContext& run, const FillSets& sets, const std::string& root,
              DriveAccount& account, Rnd& random);
    DriveFill(const DriveFill&) = delete;
    DriveFill& operator=(const DriveFill&) = delete;
    // Closes whatever fill file is still open.
    ~DriveFill();

    // The passes of the drive, from the first probe to the last cleanup.
    void FillCycles();
    // Closes the fill files that are open (the bulk file vanishes); a failed close is logged.
    void closeFiles();

    // The fill's own state, for tests and the progress display.
    FillHandle FillFileHandle00 = 0;
    FillHandle FillFileHandle01 = 0;
    bool DiskFull = false;
    FreeSpace Space;  // FreeSpaceK, FreeSpaceBytes, LargeFreeSpace of the latest probe
    double DriveProgressStep = 0;

private:
    // The sets, file names and status text of one kind of pass.
    struct Pass {
        const BlockArray& b960000;
        const BlockArray& b96000;
        const BlockArray& b960;
        const BlockArray& b16;
        const char* name00;
        const char* name01;
        bool quotes;
        std::string status;
    };
    Pass randomPass(int number, int of) const;
    Pass quotesPass() const;

    // Notes an error in the pass's account. A full disk is expected at the very end of a fill:
    // it ends the stage, not the cycle, and is not logged; every other error is.
    bool met(const RuntimeError& e);
    PassAccount* pass() { return account_.passes.empty() ? nullptr : &account_.passes.back(); }
    bool requested() const;
    // Probes the free space; false when the run cannot go on (the user has been told).
    bool probe();
    DriveProgress progress() const;
    // Returns false when the run cannot go on.
    bool startPass(bool quotes);
    void endPass();
    // One pass: its start, status, fill and files closed. False when the run cannot go on.
    bool runPass(const Pass& set);
    // After the pass's cleanup: reads back what it wrote (where the plan asks) and, where that
    // found blocks not overwritten, runs it once more.
    void checkPass(const Pass& set);
    // Returns true when it ended on a stop request.
    bool fill(const Pass& set);
    void bulkStage(std::int64_t count, const BlockArray& blocks);
    void tailStage(std::int64_t count, const BlockArray& blocks, std::size_t size,
                   std::int64_t freeKPerWrite);
    bool mayWrite(const BlockArray& blocks, std::size_t size, FillHandle file) const;
    void write(FillHandle file, const BlockArray& blocks, std::size_t size);
    // nearest(free / size - 1): leaves between half a block and one and a half blocks of the
    // probed space to the next, smaller size. A count that cannot be computed writes nothing.
    std::int64_t count(double freeBytes, std::size_t size);
    void cleanup(bool showStatus);
    // The free space once the fill files are gone, for the account: whatever the run took and
    // did not give back stayed in some file (one that grew, or a link made to a fill file).
    void measureEnd();

    FillContext& run_;
    const FillSets& sets_;
    const std::string root_;
    DriveAccount& account_;
    Rnd& random_;
    double passStart_ = 0;
    bool writing_ = false;
    FillHandle brokenFile_ = 0;
    ErrorHandler on_;
    PassCheck check_;
};

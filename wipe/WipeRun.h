// A wipe run: the drives of a plan, surveyed and then filled, one after the other or, in the
// parallel mode, the drives of different disks at the same time. It knows its caller only
// through the plan, the fill target and the observer; the caller learns how it ended from
// fill()'s result and from the account it wrote.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/ErrorLog.h"
#include "runtime/Rnd.h"
#include "wipe/DriveFill.h"
#include "wipe/FillSets.h"
#include "wipe/FillTarget.h"
#include "wipe/FreeSpaceProbe.h"
#include "wipe/RunAccount.h"
#include "wipe/RunObserver.h"
#include "wipe/WipePlan.h"

class WipeRun : public FillContext {
public:
    enum class Result {
        Finished,   // every drive's fill ran to its end
        Stopped,    // a stop was requested
        Prevented,  // a drive's free space could not be read, or the user chose to end over the
                    // paging file: the program is to end
    };

    // The account receives a drive's entry for every drive of the plan; random chooses the
    // blocks of a sequential run and seeds those of a parallel one.
    WipeRun(WipePlan plan, FillTarget& target, ErrorLogSink log, RunObserver& observer,
            RunAccount& account, Rnd& random);
    WipeRun(const WipeRun&) = delete;
    WipeRun& operator=(const WipeRun&) = delete;

    // Probes every drive of the plan before anything is written, notes what each drive is, and
    // returns their free space in thousands of bytes (0 when the survey was prevented).
    std::int64_t survey();
    // Fills the drives with the fill data.
    Result fill(const FillSets& sets);

    // Asks every drive's fill to end at its next step; from any thread.
    void requestStop() noexcept { stop_.store(true); }
    bool stopRequested() const noexcept override { return stop_.load(); }
    bool prevented() const noexcept { return prevented_.load(); }

    const WipePlan& plan() const override { return plan_; }
    // Percent of the whole run per thousand bytes written, from the survey.
    double totalProgressStep() const override { return totalProgressStep_; }
    // Whether the paging-file question is still to be asked this start.
    bool swapQuestionPending() const { return probe_.questionPending(); }

    // Ends at once: closes the fill files open on this thread (the bulk file vanishes). A drive
    // filling on another thread keeps its files until the process ends.
    void abandon();

    // --- for the drives' fills ---
    void enlist(DriveFill& fill) override;
    void delist(DriveFill& fill) override;
    FillTarget& target() override { return target_; }
    const ErrorLogSink& log() const override { return log_; }
    // The observer of the drives' events: in the parallel mode, one that hands them over to the
    // thread that started the run.
    RunObserver& observer() override { return *events_; }
    bool probe(const std::string& root, FreeSpace& space) override;

    // The disks the drives are on: drives of one disk share an entry and fill one after the
    // other; the entries fill at the same time. Indexes into the plan's drives, in plan order.
    static std::vector<std::vector<std::size_t>> DriveGroups(const std::vector<DriveFacts>& facts);

private:
    void fillSequentially(const FillSets& sets);
    void fillInParallel(const FillSets& sets);
    DriveAccount& accountOf(std::size_t drive);

    const WipePlan plan_;
    FillTarget& target_;
    ErrorLogSink log_;
    RunObserver& observer_;
    RunObserver* events_;
    RunAccount& account_;
    Rnd& random_;
    FreeSpaceProbe probe_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> prevented_{false};
    double totalProgressStep_ = 0;
    std::mutex fillsMutex_;
    std::vector<std::pair<DriveFill*, std::thread::id>> fills_;
};

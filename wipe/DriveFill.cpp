// The free-space fill cycle of one drive: the random passes and the quotes pass, each filling
// the drive to within a few bytes with a bulk and a tail fill file, then removing them again.
#include "wipe/DriveFill.h"

#include <string>
#include <string_view>

#include "platform/FillGeometry.h"
#include "runtime/Numeric.h"
#include "wipe/Cleanup.h"
#include "wipe/NamesStage.h"
#include "wipe/Pause.h"

DriveFill::DriveFill(FillContext& run, const FillSets& sets, const std::string& root,
                     DriveAccount& account, Rnd& random)
    : run_(run),
      sets_(sets),
      root_(root),
      account_(account),
      random_(random),
      on_(run.log(), "fQL Fill Cycles", [this](const RuntimeError& e) { return met(e); }),
      check_(run, root, account) {
    run_.enlist(*this);
}

DriveFill::~DriveFill() {
    run_.delist(*this);
    closeFiles();
}

bool DriveFill::met(const RuntimeError& e) {
    PassAccount* p = pass();
    if (e.number() == Err::DiskFull) {
        DiskFull = true;
        if (p != nullptr) p->noRoom = e.words();
        return true;
    }
    if (p != nullptr) {
        // A fill file given up: the reason names what had its name.
        if (e.number() == Err::FileAlreadyExists && !e.systemText().empty()) {
            p->refusals.push_back(e.systemText());
        }
        ++p->errors[e.number()];
        if (writing_) ++p->failedWrites[e.number()];
        if (!e.systemText().empty()) p->systemTexts[e.number()] = e.systemText();
        if (!e.path().empty()) p->paths[e.number()] = e.path();
    }
    return false;
}

bool DriveFill::requested() const {
    return run_.stopRequested();
}

bool DriveFill::probe() {
    return run_.probe(root_, Space);
}

DriveProgress DriveFill::progress() const {
    return {root_, Space.FreeSpaceK, DriveProgressStep, run_.totalProgressStep()};
}

void DriveFill::FillCycles() {
    RunObserver& observer = run_.observer();
    account_.started = true;
    if (!probe()) return;

    on_([&] { DriveProgressStep = Divide(100.0, static_cast<double>(Space.FreeSpaceK)); });
    observer.driveStarted(progress());

    // Nothing to fill: the division above has been logged, and there is no pass to run.
    if (Space.FreeSpaceK < 1) return;

    const int randomPasses = run_.plan().randomPasses;
    for (int number = 1; number <= randomPasses; ++number) {
        cleanup(false);
        const Pass random = randomPass(number, randomPasses);
        if (!runPass(random) || requested()) break;
        cleanup(true);
        checkPass(random);
        if (requested()) break;
    }

    const Pass quotes = quotesPass();
    if (!requested()) runPass(quotes);
    // After a stop the window is about to be reset, and the ready text it then shows stays: the
    // last sweep is silent.
    cleanup(!requested());
    if (!requested()) checkPass(quotes);

    // Once the last pass is read back (so that nothing the stage writes meets the check): what
    // the passes cannot reach, the journal, log or free metadata.
    if (!requested()) NamesStage(run_, root_, account_.names).Run();

    if (!requested()) account_.finished = true;
    if (account_.finished) measureEnd();
    observer.driveDone(account_);
}

DriveFill::Pass DriveFill::randomPass(int number, int of) const {
    return {sets_.RandomBlock960000,
            sets_.RandomBlock96000,
            sets_.RandomBlock960,
            sets_.RandomBlock16,
            kRandomBulkFile,
            kRandomTailFile,
            false,
            "Filling free-space with random characters ( pass  " + std::to_string(number) +
                " of  " + std::to_string(of) + " )"};
}

DriveFill::Pass DriveFill::quotesPass() const {
    return {sets_.QuoteBlock960000,
            sets_.QuoteBlock96000,
            sets_.QuoteBlock960,
            sets_.QuoteBlock16,
            kQuotesBulkFile,
            kQuotesTailFile,
            true,
            "Filling free-space with selected quotes."};
}

bool DriveFill::runPass(const Pass& set) {
    if (!startPass(set.quotes)) return false;
    run_.observer().statusText(root_, set.status);
    const bool stopped = fill(set);
    if (!stopped) {
        run_.observer().yield();
        check_.filesClosing(FillFileHandle00, FillFileHandle01);
    }
    closeFiles();
    endPass();
    return true;
}

void DriveFill::checkPass(const Pass& set) {
    if (!check_.readBack()) return;
    // Blocks read back with other content than was written: a stale copy of them may have been
    // written back over the fill. The device's cached blocks are dropped, and the pass runs once
    // more; what its read-back still finds counts.
    check_.flush();
    runPass(set);
    cleanup(!requested());
    if (!requested()) check_.readBack();
}

void DriveFill::measureEnd() {
    FillTarget& target = run_.target();
    bool left = false;
    for (const char* name : kFillFiles)
        on_([&] { left = left || target.fileExists(root_ + name); });
    std::uint64_t freeBytes = 0;
    bool probed = false;
    on_([&] { probed = target.diskFreeSpaceEx(root_, freeBytes); });
    if (!left && probed) account_.freeAfter = static_cast<std::int64_t>(freeBytes);
}

bool DriveFill::startPass(bool quotes) {
    if (!probe()) return false;
    PassAccount& p = account_.passes.emplace_back();
    p.quotes = quotes;
    p.freeAtStart = Space.ProbedFreeBytes;
    check_.passStarted();
    on_([&] { passStart_ = run_.target().monotonicSeconds(); });
    run_.observer().passStarted(progress());
    return true;
}

bool DriveFill::fill(const Pass& set) {
    FillTarget& target = run_.target();
    RunObserver& observer = run_.observer();
    brokenFile_ = 0;
    on_([&] { FillFileHandle00 = target.createFillFile(root_ + set.name00, FillKind::Bulk); });

    // Stage A counts from the probe taken at the start of the pass.
    std::int64_t n = 0;
    if (Space.LargeFreeSpace) {
        on_([&] { n = CLngLng(static_cast<double>(Space.FreeSpaceK) / 960.0 - 1.0); });
    } else if (Space.FreeSpaceBytes > 2880000) {
        n = count(Space.FreeSpaceBytes, kBulkBlock);
    }
    bulkStage(n, set.b960000);
    if (requested()) return true;

    if (!probe()) return true;
    bulkStage(count(Space.FreeSpaceBytes, kBulkBlock), set.b960000);

    if (!probe()) return true;
    on_([&] { FillFileHandle01 = target.createFillFile(root_ + set.name01, FillKind::Tail); });
    tailStage(count(Space.FreeSpaceBytes, kMediumBlock), set.b96000, kMediumBlock, 96);
    observer.progress(progress());

    if (!probe()) return true;
    tailStage(count(Space.FreeSpaceBytes, kSmallBlock), set.b960, kSmallBlock, 1);

    if (!probe()) return true;
    on_([&] { Space.FreeSpaceK = CLngLng(Space.FreeSpaceBytes / 1000.0); });
    tailStage(count(Space.FreeSpaceBytes, kTinyBlock), set.b16, kTinyBlock, 0);

    // One more probe: what the pass left free is what its account is judged by.
    if (!probe()) return true;
    if (PassAccount* p = pass()) p->freeAtEnd = Space.ProbedFreeBytes;

    Space.FreeSpaceK = 0;
    observer.progress(progress());
    return requested();
}

void DriveFill::bulkStage(std::int64_t n, const BlockArray& blocks) {
    for (std::int64_t i = 1; i <= n; ++i) {
        if (!mayWrite(blocks, kBulkBlock, FillFileHandle00)) break;
        write(FillFileHandle00, blocks, kBulkBlock);
        on_([&] { Space.FreeSpaceK -= 960; });
        run_.observer().progress(progress());
    }
}

void DriveFill::tailStage(std::int64_t n, const BlockArray& blocks, std::size_t size,
                          std::int64_t freeKPerWrite) {
    // The small stages do not yield: their writes are short, and the bars move once per stage.
    for (std::int64_t i = 1; i <= n; ++i) {
        if (!mayWrite(blocks, size, FillFileHandle01)) break;
        write(FillFileHandle01, blocks, size);
        on_([&] { Space.FreeSpaceK -= freeKPerWrite; });
    }
}

bool DriveFill::mayWrite(const BlockArray& blocks, std::size_t size, FillHandle file) const {
    if (requested() || DiskFull) return false;
    // A fill file that could not be created has no handle, and one whose write failed for any
    // reason but a full disk (a failing device) takes no further writes in its pass. Either
    // failure is logged once; writing on would only fail again with every block: stage E alone
    // counts free bytes / 16 writes, and the log would grow by gigabytes.
    if (file == 0 || file == brokenFile_) return false;
    // A block shorter than its nominal length (a stopped preparation) is never written: the
    // write would read beyond it.
    for (std::size_t k = 1; k <= 3; ++k) {
        if (blocks[k].size() < size) return false;
    }
    return true;
}

void DriveFill::write(FillHandle file, const BlockArray& blocks, std::size_t size) {
    // Block 2 half of the time, blocks 1 and 3 a quarter each.
    const auto k = static_cast<std::size_t>(nearest(2.0 * static_cast<double>(random_()) + 1.0));
    writing_ = true;
    const bool wrote =
        on_([&] { run_.target().writeFill(file, std::string_view(blocks[k].data(), size)); });
    writing_ = false;
    if (wrote) {
        if (PassAccount* p = pass()) p->written += static_cast<std::int64_t>(size);
        check_.wrote(file, blocks[k].data(), size);
    } else if (!DiskFull) {
        // The bulk file fails before the tail file is made, so one broken file at a time.
        brokenFile_ = file;
    }
}

void DriveFill::endPass() {
    PassAccount* p = pass();
    if (p == nullptr) return;
    double now = passStart_;
    on_([&] { now = run_.target().monotonicSeconds(); });
    p->seconds = now - passStart_;
}

std::int64_t DriveFill::count(double freeBytes, std::size_t size) {
    std::int64_t n = 0;
    on_([&] { n = CLngLng(freeBytes / static_cast<double>(size) - 1.0); });
    return n;
}

void DriveFill::closeFiles() {
    // Closing the bulk file deletes it; the tail file stays for the cleanup. A failed close is
    // logged, and the handle is given up all the same.
    if (FillFileHandle00 != 0) on_([&] { run_.target().closeFill(FillFileHandle00); });
    FillFileHandle00 = 0;
    if (FillFileHandle01 != 0) on_([&] { run_.target().closeFill(FillFileHandle01); });
    FillFileHandle01 = 0;
}

void DriveFill::cleanup(bool showStatus) {
    ErrorHandler on(run_.log(), "fQL Cleanup");
    run_.observer().yield();
    CleanupFillFiles(run_.target(), on, root_);
    if (showStatus) {
        run_.observer().statusText(root_, "Restoring disk free-space.");
        Pause(run_.target(), 2);
    }
    DiskFull = false;
}

// The free-space fill cycle of one drive: the random passes and the quotes pass, each filling
// the drive to within a few bytes with a bulk and a tail fill file, then removing them again.
#include <string>
#include <string_view>

#include "platform/FillGeometry.h"
#include "runtime/Numeric.h"
#include "ui/frmQuellix.h"

namespace {

// The four block arrays of one fill set and the names of its two files.
struct FillSet {
    const BlockArray& b960000;
    const BlockArray& b96000;
    const BlockArray& b960;
    const BlockArray& b16;
    const char* name00;
    const char* name01;
};

class DriveFill {
public:
    DriveFill(frmQuellix& w, const std::string& drive)
        : w_(w),
          drive_(drive),
          accountIndex_(w.Account.index(drive)),
          on_(w.platform(), "fQL Fill Cycles", [this](const RuntimeError& e) { return met(e); }) {}

    void run();

private:
    // Notes an error in the pass's account. A full disk is expected at the very end of a fill:
    // it ends the stage, not the cycle, and is not logged; every other error is.
    bool met(const RuntimeError& e);
    // The drive's account (held by index: the run's list of drives may grow meanwhile).
    DriveAccount& account() { return w_.Account.drives.at(accountIndex_); }
    PassAccount* pass() {
        DriveAccount& d = account();
        return d.passes.empty() ? nullptr : &d.passes.back();
    }
    // Closes the pass's account with the time it took.
    void endPass();
    bool requested() const { return w_.StopRequested || w_.ExitRequested; }
    void startPass(bool quotes);
    // Returns true when it ended on a stop or exit request.
    bool fill(const FillSet& set);
    void bulkStage(std::int64_t count, const BlockArray& blocks);
    void tailStage(std::int64_t count, const BlockArray& blocks, std::size_t size,
                   std::int64_t freeKPerWrite);
    bool mayWrite(const BlockArray& blocks, std::size_t size, FillHandle file) const;
    void write(FillHandle file, const BlockArray& blocks, std::size_t size);
    // nearest(free / size - 1): leaves between half a block and one and a half blocks of the
    // probed space to the next, smaller size. A count that cannot be computed writes nothing.
    std::int64_t count(double freeBytes, std::size_t size);
    void closeFiles();
    // The free space once the fill files are gone, for the account: whatever the run took and
    // did not give back stayed in some file (one that grew, or a link made to a fill file).
    void measureEnd();

    frmQuellix& w_;
    const std::string& drive_;
    std::size_t accountIndex_;
    double passStart_ = 0;
    bool writing_ = false;
    FillHandle brokenFile_ = 0;
    ErrorHandler on_;
};

bool DriveFill::met(const RuntimeError& e) {
    PassAccount* p = pass();
    if (e.number() == Err::DiskFull) {
        w_.DiskFull = true;
        if (p != nullptr) p->noRoom = e.systemText().empty() ? e.description() : e.systemText();
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

void DriveFill::run() {
    account().started = true;
    w_.DiskFreeSpace(drive_);

    on_([&] { w_.DriveProgressStep = Divide(100.0, static_cast<double>(w_.FreeSpaceK)); });
    on_([&] { w_.lblCurrentDrive.Caption = drive_.substr(0, 2); });
    // Megabytes of 1,049,000 bytes, shown in full however large the drive.
    on_([&] {
        w_.lblFillSize.Caption =
            std::to_string(CLngLng(static_cast<double>(w_.FreeSpaceK) / 1049.0));
    });
    std::int16_t randomPasses = 0;
    on_([&] { randomPasses = CInt(Val(w_.lblRandomPasses.Caption)); });

    // Nothing to fill: the division above has been logged, and there is no pass to run.
    if (w_.FreeSpaceK < 1) return;

    for (int pass = 1; pass <= randomPasses; ++pass) {
        w_.Cleanup(drive_, false);
        startPass(false);
        on_([&] {
            w_.lblCurrentStatus.Caption = "Filling free-space with random characters ( pass  " +
                                          std::to_string(pass) + " of  " +
                                          std::to_string(randomPasses) + " )";
        });
        w_.desktop().DoEvents();
        const bool stopped = fill({w_.RandomBlock960000, w_.RandomBlock96000, w_.RandomBlock960,
                                   w_.RandomBlock16, kRandomBulkFile, kRandomTailFile});
        if (!stopped) {
            w_.desktop().DoEvents();
            closeFiles();
        }
        endPass();
        if (requested()) break;
        w_.Cleanup(drive_, true);
    }

    if (!requested()) {
        startPass(true);
        on_([&] { w_.lblCurrentStatus.Caption = "Filling free-space with selected quotes."; });
        w_.desktop().DoEvents();
        const bool stopped = fill({w_.QuoteBlock960000, w_.QuoteBlock96000, w_.QuoteBlock960,
                                   w_.QuoteBlock16, kQuotesBulkFile, kQuotesTailFile});
        if (!stopped) {
            w_.desktop().DoEvents();
            closeFiles();
        }
        endPass();
    }

    if (requested()) {
        w_.RunEnd();
    } else {
        account().finished = true;
    }
    // After a stop, RunEnd's reset has already removed the fill files of every selectable drive
    // and shown the ready text: the last sweep stays silent so that the Idle window keeps it.
    w_.Cleanup(drive_, !w_.StopHandled);
    if (account().finished) measureEnd();
}

void DriveFill::measureEnd() {
    bool left = false;
    for (const char* name : kFillFiles)
        on_([&] { left = left || w_.platform().fileExists(drive_ + name); });
    std::uint64_t freeBytes = 0;
    bool probed = false;
    on_([&] { probed = w_.platform().diskFreeSpaceEx(drive_, freeBytes); });
    if (!left && probed) account().freeAfter = static_cast<std::int64_t>(freeBytes);
}

void DriveFill::startPass(bool quotes) {
    w_.DiskFreeSpace(drive_);
    PassAccount& p = account().passes.emplace_back();
    p.quotes = quotes;
    p.freeAtStart = w_.ProbedFreeBytes;
    on_([&] { passStart_ = w_.platform().monotonicSeconds(); });
    on_([&] { w_.DoneBeforePassK += w_.PassDoneK; });
    on_([&] { w_.PassStartFreeK = w_.FreeSpaceK; });
    w_.Progbar();
}

bool DriveFill::fill(const FillSet& set) {
    Platform& platform = w_.platform();
    brokenFile_ = 0;
    on_([&] {
        w_.FillFileHandle00 = platform.createFillFile(drive_ + set.name00, FillKind::Bulk);
    });

    // Stage A counts from the probe taken at the start of the pass.
    std::int64_t n = 0;
    if (w_.LargeFreeSpace) {
        on_([&] { n = CLngLng(static_cast<double>(w_.FreeSpaceK) / 960.0 - 1.0); });
    } else if (w_.FreeSpaceBytes > 2880000) {
        n = count(w_.FreeSpaceBytes, kBulkBlock);
    }
    bulkStage(n, set.b960000);
    if (requested()) return true;

    w_.DiskFreeSpace(drive_);
    bulkStage(count(w_.FreeSpaceBytes, kBulkBlock), set.b960000);

    w_.DiskFreeSpace(drive_);
    on_([&] {
        w_.FillFileHandle01 = platform.createFillFile(drive_ + set.name01, FillKind::Tail);
    });
    tailStage(count(w_.FreeSpaceBytes, kMediumBlock), set.b96000, kMediumBlock, 96);
    w_.Progbar();

    w_.DiskFreeSpace(drive_);
    tailStage(count(w_.FreeSpaceBytes, kSmallBlock), set.b960, kSmallBlock, 1);

    w_.DiskFreeSpace(drive_);
    on_([&] { w_.FreeSpaceK = CLngLng(w_.FreeSpaceBytes / 1000.0); });
    tailStage(count(w_.FreeSpaceBytes, kTinyBlock), set.b16, kTinyBlock, 0);

    // One more probe: what the pass left free is what its account is judged by.
    w_.DiskFreeSpace(drive_);
    if (PassAccount* p = pass()) p->freeAtEnd = w_.ProbedFreeBytes;

    w_.FreeSpaceK = 0;
    w_.Progbar();
    return requested();
}

void DriveFill::bulkStage(std::int64_t n, const BlockArray& blocks) {
    for (std::int64_t i = 1; i <= n; ++i) {
        if (!mayWrite(blocks, kBulkBlock, w_.FillFileHandle00)) break;
        write(w_.FillFileHandle00, blocks, kBulkBlock);
        on_([&] { w_.FreeSpaceK -= 960; });
        w_.Progbar();
    }
}

void DriveFill::tailStage(std::int64_t n, const BlockArray& blocks, std::size_t size,
                          std::int64_t freeKPerWrite) {
    // The small stages do not yield: their writes are short, and the bars move once per stage.
    for (std::int64_t i = 1; i <= n; ++i) {
        if (!mayWrite(blocks, size, w_.FillFileHandle01)) break;
        write(w_.FillFileHandle01, blocks, size);
        on_([&] { w_.FreeSpaceK -= freeKPerWrite; });
    }
}

bool DriveFill::mayWrite(const BlockArray& blocks, std::size_t size, FillHandle file) const {
    if (w_.ExitRequested || w_.StopRequested || w_.DiskFull) return false;
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
    const auto k = static_cast<std::size_t>(nearest(2.0 * static_cast<double>(w_.Random()) + 1.0));
    writing_ = true;
    const bool wrote =
        on_([&] { w_.platform().writeFill(file, std::string_view(blocks[k].data(), size)); });
    writing_ = false;
    if (wrote) {
        if (PassAccount* p = pass()) p->written += static_cast<std::int64_t>(size);
    } else if (!w_.DiskFull) {
        // The bulk file fails before the tail file is made, so one broken file at a time.
        brokenFile_ = file;
    }
}

void DriveFill::endPass() {
    PassAccount* p = pass();
    if (p == nullptr) return;
    double now = passStart_;
    on_([&] { now = w_.platform().monotonicSeconds(); });
    p->seconds = now - passStart_;
}

std::int64_t DriveFill::count(double freeBytes, std::size_t size) {
    std::int64_t n = 0;
    on_([&] { n = CLngLng(freeBytes / static_cast<double>(size) - 1.0); });
    return n;
}

void DriveFill::closeFiles() {
    // Closing the bulk file deletes it; the tail file stays for Cleanup.
    if (w_.FillFileHandle00 != 0) on_([&] { w_.platform().closeFill(w_.FillFileHandle00); });
    w_.FillFileHandle00 = 0;
    if (w_.FillFileHandle01 != 0) on_([&] { w_.platform().closeFill(w_.FillFileHandle01); });
    w_.FillFileHandle01 = 0;
}

}  // namespace

void frmQuellix::FillCycles(const std::string& drive) {
    DriveFill(*this, drive).run();
}

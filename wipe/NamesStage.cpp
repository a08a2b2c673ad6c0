// The names stage: files of the stage's own whose times change until the file system has
// rewritten its journal, log or free metadata, then removed again.
#include "wipe/NamesStage.h"

#include <algorithm>
#include <vector>

namespace {

std::string megabytes(std::uint64_t bytes) {
    return Megabytes(static_cast<std::int64_t>(bytes)) + " MB";
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!text.empty()) text += "; ";
        text += part;
    }
    return text;
}

}  // namespace

NamesStage::NamesStage(FillContext& run, const std::string& root, NamesAccount& account)
    : run_(run),
      root_(root),
      account_(account),
      on_(run.log(), "fQL Clear Names", [this](const RuntimeError& e) {
          // The first failure is what the account tells; every one is logged.
          if (failure_.empty()) {
              failure_ = e.words();
          }
          return false;
      }) {}

bool NamesStage::stopped() const {
    return run_.stopRequested();
}

std::int64_t NamesStage::FilesWanted(const NamesFacts& facts) {
    const std::uint64_t perRound = std::max<std::uint64_t>(facts.bytesPerFile, 1) * kRounds;
    const std::uint64_t forRounds = (facts.rewriteBytes + perRound - 1) / perRound;
    std::int64_t n = static_cast<std::int64_t>(std::min<std::uint64_t>(forRounds, kMaxFiles));
    n = std::clamp(n, kMinFiles, kMaxFiles);
    if (facts.freedInodeSlots > 0) {
        n = std::max(n, std::min(facts.freedInodeSlots + kSlotMargin, kMaxFiles));
    }
    if (facts.maxFiles >= 0) n = std::min(n, facts.maxFiles);
    return n;
}

void NamesStage::Run() {
    if (!run_.plan().clearNames) {
        account_.outcome = NamesOutcome::Skipped;
        return;
    }
    FillTarget& target = run_.target();
    double start = 0;
    on_([&] { start = target.monotonicSeconds(); });
    NamesFacts facts;
    if (!on_([&] { facts = target.namesFacts(root_); })) {
        account_.outcome = NamesOutcome::Failed;
        account_.reason = failure_;
        return;
    }
    if (!facts.supported) {
        account_.outcome = NamesOutcome::Unsupported;
        account_.reason = facts.reason;
        return;
    }
    account_.rewriteBytes = facts.rewriteBytes;
    run_.observer().statusText(root_, "Clearing the names of deleted files.");

    std::vector<std::string> shortOf;
    bool finished = false;
    NamesHandle dir = 0;
    if (on_([&] { dir = target.openNamesDirectory(root_); })) {
        finished = work(dir, facts, shortOf);
        // Whatever ended the work, the stage's files and directory go.
        on_([&] { target.closeNamesDirectory(dir); });
    }
    double end = start;
    on_([&] { end = target.monotonicSeconds(); });
    account_.seconds = end - start;

    if (!failure_.empty()) {
        account_.outcome = NamesOutcome::Failed;
        account_.reason = failure_;
    } else if (!finished) {
        account_.outcome = NamesOutcome::Stopped;
        account_.reason = "the run was stopped during the stage";
    } else if (!joined(shortOf).empty()) {
        account_.outcome = NamesOutcome::Partial;
        account_.reason = joined(shortOf);
    } else {
        account_.outcome = NamesOutcome::Complete;
    }
}

bool NamesStage::work(NamesHandle dir, const NamesFacts& facts, std::vector<std::string>& shortOf) {
    FillTarget& target = run_.target();
    RunObserver& observer = run_.observer();

    // The files: they take the inode slots deleted files left (the lowest free ones come
    // first), and their making is logged like every later change.
    const std::int64_t wanted = FilesWanted(facts);
    std::int64_t made = 0;
    while (made < wanted) {
        if (stopped()) return false;
        const std::int64_t batch = std::min(kBatch, wanted - made);
        std::int64_t n = 0;
        if (!on_([&] { n = target.addNamesFiles(dir, batch); })) return true;
        made += n;
        observer.yield();
        if (n < batch) break;  // no room, or no inode, left
    }
    if (!on_([&] { account_.bytesRewritten = target.syncNames(dir); })) return true;

    // Checked while the files still hold the slots they took.
    if (facts.freedInodeSlots < 0) {
        shortOf.push_back(facts.slotsUnknown);
    } else if (facts.freedInodeSlots > 0) {
        NamesFacts now;
        if (!on_([&] { now = target.namesFacts(root_); })) return true;
        if (now.freedInodeSlots > 0) {
            shortOf.push_back(Grouped(now.freedInodeSlots) +
                              " inode slots that deleted files left were out of reach");
        }
    }

    // The rounds, until the journal, log or free metadata has been rewritten at least once. A
    // file system that counts less than the least its changes must write stops after a few
    // rounds more than were needed.
    if (made > 0) {
        const std::uint64_t perRound =
            std::max<std::uint64_t>(facts.bytesPerFile, 1) * static_cast<std::uint64_t>(made);
        const std::uint64_t limit = 4 * ((facts.rewriteBytes + perRound - 1) / perRound) + 8;
        const auto withinBudget = [&] {
            return facts.budgetBytes == 0 || account_.bytesRewritten < facts.budgetBytes;
        };
        for (std::uint64_t round = 0;
             account_.bytesRewritten < facts.rewriteBytes && round < limit && withinBudget();
             ++round) {
            for (std::int64_t first = 0; first < made; first += kBatch) {
                if (stopped()) return false;
                const std::int64_t count = std::min(kBatch, made - first);
                if (!on_([&] { target.touchNamesFiles(dir, first, count); })) return true;
                observer.yield();
            }
            if (!on_([&] { account_.bytesRewritten = target.syncNames(dir); })) return true;
        }
    }
    if (account_.bytesRewritten < facts.rewriteBytes && facts.budgetBytes > 0 &&
        account_.bytesRewritten >= facts.budgetBytes) {
        shortOf.push_back("the stage ended once it had rewritten " +
                          megabytes(account_.bytesRewritten) + ", as much as the drive's size " +
                          "allows, of the " + megabytes(facts.rewriteBytes) +
                          " of journal, log or metadata the file system claims");
    } else if (account_.bytesRewritten < facts.rewriteBytes) {
        shortOf.push_back(
            megabytes(account_.bytesRewritten) + " of " + megabytes(facts.rewriteBytes) +
            " of journal, log or metadata were rewritten" +
            (made == 0 ? " - the file system had no room for a file of the stage" : ""));
    }
    shortOf.push_back(facts.caveat);
    return true;
}

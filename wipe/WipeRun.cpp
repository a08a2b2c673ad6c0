// The wipe run: the survey of its drives, then their fill, one after the other or several at
// once.
#include "wipe/WipeRun.h"

#include <chrono>
#include <exception>
#include <map>
#include <thread>

#include "runtime/Numeric.h"
#include "wipe/DriveFill.h"
#include "wipe/QueuedObserver.h"

namespace {

// How often the thread that started a parallel run shows what the drives did meanwhile.
constexpr double kShowInterval = 0.05;

}  // namespace

WipeRun::WipeRun(WipePlan plan, FillTarget& target, ErrorLogSink log, RunObserver& observer,
                 RunAccount& account, Rnd& random)
    : plan_(std::move(plan)),
      target_(target),
      log_(log),
      observer_(observer),
      events_(&observer),
      account_(account),
      random_(random),
      probe_(plan_, target, log) {}

bool WipeRun::probe(const std::string& root, FreeSpace& space) {
    if (probe_.probe(root, space, *events_) == ProbeOutcome::Read) return true;
    prevented_.store(true);
    requestStop();
    return false;
}

void WipeRun::enlist(DriveFill& fill) {
    const std::lock_guard<std::mutex> lock(fillsMutex_);
    fills_.emplace_back(&fill, std::this_thread::get_id());
}

void WipeRun::delist(DriveFill& fill) {
    const std::lock_guard<std::mutex> lock(fillsMutex_);
    std::erase_if(fills_, [&](const auto& entry) { return entry.first == &fill; });
}

void WipeRun::abandon() {
    requestStop();
    const std::lock_guard<std::mutex> lock(fillsMutex_);
    for (const auto& [fill, thread] : fills_) {
        // Another thread may be writing to its files this very moment.
        if (thread == std::this_thread::get_id()) fill->closeFiles();
    }
}

DriveAccount& WipeRun::accountOf(std::size_t drive) {
    return account_.drives[account_.index(plan_.drives[drive])];
}

std::int64_t WipeRun::survey() {
    ErrorHandler on(log_, "fQL Wipe");
    account_.randomPasses = plan_.randomPasses;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < plan_.drives.size(); ++i) {
        const std::string& root = plan_.drives[i];
        DriveAccount& drive = accountOf(i);
        on([&] { drive.facts = target_.driveFacts(root); });
        FreeSpace space;
        if (!probe(root, space)) return 0;
        on([&] { total += space.FreeSpaceK; });
    }
    if (total >= 1) {
        on([&] {
            const double passes = static_cast<double>(plan_.randomPasses) + 1.0;
            totalProgressStep_ = Divide(100.0, passes * static_cast<double>(total));
        });
    }
    return total;
}

WipeRun::Result WipeRun::fill(const FillSets& sets) {
    // Every drive has its account before any fill begins: the parallel fills write their own
    // entries, which must not move meanwhile.
    for (std::size_t i = 0; i < plan_.drives.size(); ++i)
        accountOf(i);
    observer_.runStarted(plan_);
    if (plan_.parallel && plan_.drives.size() > 1) {
        fillInParallel(sets);
    } else {
        fillSequentially(sets);
    }
    if (prevented()) return Result::Prevented;
    return stopRequested() ? Result::Stopped : Result::Finished;
}

void WipeRun::fillSequentially(const FillSets& sets) {
    for (std::size_t i = 0; i < plan_.drives.size() && !stopRequested(); ++i) {
        DriveFill(*this, sets, plan_.drives[i], accountOf(i), random_).FillCycles();
    }
}

std::vector<std::vector<std::size_t>> WipeRun::DriveGroups(const std::vector<DriveFacts>& facts) {
    std::vector<std::vector<std::size_t>> groups;
    std::map<std::string, std::size_t> groupOfDisk;
    for (std::size_t i = 0; i < facts.size(); ++i) {
        // A drive whose disk is not known is a disk of its own.
        const std::string& disk = facts[i].disk;
        if (disk.empty()) {
            groups.push_back({i});
            continue;
        }
        const auto [it, added] = groupOfDisk.emplace(disk, groups.size());
        if (added) groups.emplace_back();
        groups[it->second].push_back(i);
    }
    return groups;
}

void WipeRun::fillInParallel(const FillSets& sets) {
    std::vector<DriveFacts> facts;
    std::vector<DriveAccount*> accounts;
    for (std::size_t i = 0; i < plan_.drives.size(); ++i) {
        accounts.push_back(&accountOf(i));
        facts.push_back(accounts.back()->facts);
    }
    QueuedObserver queue;
    std::atomic<std::size_t> finished{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    std::vector<std::thread> threads;
    // Every thread is joined, whatever ends the wait: a thread left running would end the
    // process. Declared last, so that it goes first and the threads never outlive what they use.
    struct Joiner {
        WipeRun& run;
        std::vector<std::thread>& threads;
        ~Joiner() {
            if (std::uncaught_exceptions() > 0) run.requestStop();
            for (std::thread& t : threads) {
                if (t.joinable()) t.join();
            }
            run.events_ = &run.observer_;
        }
    } joiner{*this, threads};

    events_ = &queue;
    for (const auto& group : DriveGroups(facts)) {
        // Each disk draws its blocks from a generator of its own, seeded from the run's.
        const auto seed = static_cast<std::uint64_t>(random_() * 16777216.0f) << 24 |
                          static_cast<std::uint64_t>(random_() * 16777216.0f);
        threads.emplace_back(
            [this, &sets, &accounts, &finished, &failure, &failureMutex, group, seed] {
                Rnd random(seed);
                try {
                    for (const std::size_t i : group) {
                        if (stopRequested()) break;
                        DriveFill(*this, sets, plan_.drives[i], *accounts[i], random).FillCycles();
                    }
                } catch (...) {
                    const std::lock_guard<std::mutex> lock(failureMutex);
                    failure = std::current_exception();
                    requestStop();
                }
                ++finished;
            });
    }
    // The drives' events are shown here, on the thread that started the run, which also takes
    // the user's requests (and signals) meanwhile.
    while (finished.load() < threads.size()) {
        queue.drainInto(observer_);
        observer_.yield();
        std::this_thread::sleep_for(std::chrono::duration<double>(kShowInterval));
    }
    for (std::thread& t : threads)
        t.join();
    events_ = &observer_;
    queue.drainInto(observer_);
    if (failure) std::rethrow_exception(failure);
}

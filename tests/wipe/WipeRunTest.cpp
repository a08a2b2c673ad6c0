// The run of a plan on the fakes: the survey, the drives' disks, and drives that fill at the same
// time (their events shown on the thread that started the run, a stop reaching all of them).
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/EngineFixture.h"
#include "wipe/QueuedObserver.h"

namespace {

// The fakes take one call at a time, as a kernel would take them at once.
class LockedTarget : public FillTarget {
    template <class F>
    auto locked(F f) -> decltype(f()) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return f();
    }

public:
    explicit LockedTarget(FillTarget& inner) : inner_(inner) {}
    DriveFacts driveFacts(const std::string& root) override {
        return locked([&] { return inner_.driveFacts(root); });
    }
    bool diskFreeSpaceEx(const std::string& root, std::uint64_t& bytes) override {
        return locked([&] { return inner_.diskFreeSpaceEx(root, bytes); });
    }
    bool diskFreeSpace(const std::string& root, std::int32_t& spc, std::int32_t& bps,
                       std::int32_t& clusters) override {
        return locked([&] { return inner_.diskFreeSpace(root, spc, bps, clusters); });
    }
    std::optional<std::int64_t> systemSwapFile(const std::string& path) override {
        return locked([&] { return inner_.systemSwapFile(path); });
    }
    FillHandle createFillFile(const std::string& path, FillKind kind) override {
        return locked([&] { return inner_.createFillFile(path, kind); });
    }
    void writeFill(FillHandle file, std::string_view data) override {
        {
            std::unique_lock<std::mutex> lock(gateMutex_);
            gateChanged_.wait(lock, [&] { return gateOpen_; });
        }
        locked([&] { inner_.writeFill(file, data); });
    }
    // Holds every write until the gate opens again.
    void closeGate() {
        const std::lock_guard<std::mutex> lock(gateMutex_);
        gateOpen_ = false;
    }
    void openGate() {
        {
            const std::lock_guard<std::mutex> lock(gateMutex_);
            gateOpen_ = true;
        }
        gateChanged_.notify_all();
    }
    void closeFill(FillHandle file) override {
        locked([&] { inner_.closeFill(file); });
    }
    bool fileExists(const std::string& path) override {
        return locked([&] { return inner_.fileExists(path); });
    }
    void deleteFile(const std::string& path) override {
        locked([&] { inner_.deleteFile(path); });
    }
    bool shellDeleteFile(const std::string& path) noexcept override {
        const std::lock_guard<std::mutex> lock(mutex_);
        return inner_.shellDeleteFile(path);
    }
    NamesFacts namesFacts(const std::string& root) override {
        return locked([&] { return inner_.namesFacts(root); });
    }
    NamesHandle openNamesDirectory(const std::string& root) override {
        return locked([&] { return inner_.openNamesDirectory(root); });
    }
    std::int64_t addNamesFiles(NamesHandle dir, std::int64_t count) override {
        return locked([&] { return inner_.addNamesFiles(dir, count); });
    }
    void touchNamesFiles(NamesHandle dir, std::int64_t first, std::int64_t count) override {
        locked([&] { inner_.touchNamesFiles(dir, first, count); });
    }
    std::uint64_t syncNames(NamesHandle dir) override {
        return locked([&] { return inner_.syncNames(dir); });
    }
    void closeNamesDirectory(NamesHandle dir) override {
        locked([&] { inner_.closeNamesDirectory(dir); });
    }
    bool namesLeftover(const std::string& root) override {
        return locked([&] { return inner_.namesLeftover(root); });
    }
    void removeNamesLeftover(const std::string& root) override {
        locked([&] { inner_.removeNamesLeftover(root); });
    }
    std::optional<std::vector<FileExtent>> fillExtents(FillHandle file) override {
        return locked([&] { return inner_.fillExtents(file); });
    }
    std::optional<SpaceMap> spaceMap(const std::string& root,
                                     const std::vector<Extent>& within) override {
        return locked([&] { return inner_.spaceMap(root, within); });
    }
    void syncDrive(const std::string& root) override {
        locked([&] { inner_.syncDrive(root); });
    }
    DeviceHandle openDevice(const std::string& root) override {
        return locked([&] { return inner_.openDevice(root); });
    }
    void readDevice(DeviceHandle device, std::uint64_t offset, char* buffer,
                    std::size_t size) override {
        locked([&] { inner_.readDevice(device, offset, buffer, size); });
    }
    void flushDevice(DeviceHandle device) override {
        locked([&] { inner_.flushDevice(device); });
    }
    void closeDevice(DeviceHandle device) override {
        locked([&] { inner_.closeDevice(device); });
    }
    double secondsSinceMidnight() override {
        return locked([&] { return inner_.secondsSinceMidnight(); });
    }
    void sleepFor(double) override {}
    double monotonicSeconds() override {
        return locked([&] { return inner_.monotonicSeconds(); });
    }

private:
    FillTarget& inner_;
    std::mutex mutex_;
    std::mutex gateMutex_;
    std::condition_variable gateChanged_;
    bool gateOpen_ = true;
};

// Notes the thread of every event.
class ThreadNotingObserver : public RecordingObserver {
public:
    void statusText(const std::string& root, const std::string& text) override {
        threads.push_back(std::this_thread::get_id());
        RecordingObserver::statusText(root, text);
    }
    void progress(const DriveProgress& drive) override {
        threads.push_back(std::this_thread::get_id());
        RecordingObserver::progress(drive);
    }
    std::vector<std::thread::id> threads;
};

class WipeRunTest : public EngineFixture {
protected:
    WipeRun& parallelRun() {
        plan.parallel = true;
        run_ = std::make_unique<WipeRun>(plan, locked, p, noting, account, random);
        return *run_;
    }
    // The drive's writes in the order the fakes took them.
    std::vector<std::size_t> writeOrder(const std::string& root) const {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < p.writes.size(); ++i) {
            if (p.writes[i].path.rfind(root, 0) == 0) at.push_back(i);
        }
        return at;
    }

    LockedTarget locked{target};
    ThreadNotingObserver noting;
    std::unique_ptr<WipeRun> run_;
};

TEST_F(WipeRunTest, TheSurveyNotesEveryDriveAndTheScaleOfTheWholeRun) {
    addDrive("C:\\", 10000000).facts.fsReserveBytes = 4096;
    addDrive("D:\\", 20000000);
    plan.randomPasses = 3;
    EXPECT_EQ(run().survey(), 30000);
    EXPECT_DOUBLE_EQ(run().totalProgressStep(), 100.0 / (4.0 * 30000.0));
    ASSERT_EQ(account.drives.size(), 2u);
    EXPECT_EQ(account.drives[0].facts.fsReserveBytes, 4096u);
    EXPECT_EQ(account.drives[1].facts.mountPoint, "/fake/D");
    EXPECT_EQ(account.randomPasses, 3);
    EXPECT_TRUE(p.fills.empty());
}

TEST_F(WipeRunTest, DrivesOfOneDiskShareAGroupInPlanOrder) {
    const auto facts = [](std::initializer_list<const char*> disks) {
        std::vector<DriveFacts> all;
        for (const char* disk : disks)
            all.emplace_back().disk = disk;
        return all;
    };
    using Groups = std::vector<std::vector<std::size_t>>;
    const struct {
        std::vector<DriveFacts> facts;
        Groups groups;
    } cases[] = {
        {facts({"sda", "sdb", "sda"}), {{0, 2}, {1}}},
        {facts({"loop1", "loop2", "loop3", "loop4"}), {{0}, {1}, {2}, {3}}},
        // A drive whose disk is not known never waits for another.
        {facts({"", "", "sda"}), {{0}, {1}, {2}}},
        {facts({}), {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WipeRun::DriveGroups(c.facts), c.groups);
}

TEST_F(WipeRunTest, DrivesOfDifferentDisksFillAtOnceAndAreShownOnTheStartingThread) {
    addDrive("C:\\", 10000000).facts.disk = "sda";
    addDrive("D:\\", 20000000).facts.disk = "sda";
    addDrive("E:\\", 30000000).facts.disk = "sdb";
    fillBlocks();
    WipeRun& run = parallelRun();
    ASSERT_GT(run.survey(), 0);
    EXPECT_EQ(run.fill(sets), WipeRun::Result::Finished);

    for (const DriveAccount& drive : account.drives) {
        EXPECT_TRUE(drive.finished) << drive.root;
        ASSERT_EQ(drive.passes.size(), 3u) << drive.root;
        for (const PassAccount& pass : drive.passes)
            EXPECT_EQ(pass.freeAtEnd, 16) << drive.root;
        EXPECT_TRUE(p.volume(drive.root).files.empty()) << drive.root;
    }
    EXPECT_EQ(p.volume("E:\\").freeBytes, 30000000u);
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    // The drives of one disk one after the other, the other disk beside them.
    EXPECT_LT(writeOrder("C:\\").back(), writeOrder("D:\\").front());
    EXPECT_EQ(noting.drivesDone.size(), 3u);
    for (const std::thread::id id : noting.threads)
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(WipeRunTest, AStopReachesEveryDriveFillingAtOnce) {
    addDrive("C:\\", 100000000).facts.disk = "sda";
    addDrive("D:\\", 100000000).facts.disk = "sdb";
    fillBlocks();
    WipeRun& run = parallelRun();
    run.survey();
    // The starting thread yields while it waits: a Stop taken up there ends every fill, each
    // held at its first write meanwhile.
    locked.closeGate();
    noting.everyYield = [&] {
        run.requestStop();
        locked.openGate();
    };
    EXPECT_EQ(run.fill(sets), WipeRun::Result::Stopped);
    for (const DriveAccount& drive : account.drives) {
        EXPECT_FALSE(drive.finished) << drive.root;
        EXPECT_TRUE(p.volume(drive.root).files.empty()) << drive.root;
        EXPECT_EQ(p.volume(drive.root).freeBytes, 100000000u) << drive.root;
    }
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
}

TEST(QueuedObserver, HandsOverInOrderWithOnlyTheLatestProgressOfEachDrive) {
    QueuedObserver queue;
    queue.statusText("C:\\", "first");
    for (const std::int64_t free : {30, 20, 10})
        queue.progress({"C:\\", free, 0, 0});
    queue.progress({"D:\\", 7, 0, 0});
    queue.statusText("D:\\", "second");
    EXPECT_EQ(queue.message("Go on?", vbYesNo | vbDefaultButton2), vbNo);

    struct : RecordingObserver {
        std::vector<std::string> seen;
        void progress(const DriveProgress& d) override {
            seen.push_back(d.root + std::to_string(d.freeSpaceK));
        }
        void statusText(const std::string& root, const std::string& text) override {
            seen.push_back(root + text);
        }
    } order;
    queue.drainInto(order);
    EXPECT_EQ(order.seen, (std::vector<std::string>{"C:\\first", "C:\\10", "D:\\7", "D:\\second"}));
    ASSERT_EQ(order.messages.size(), 1u);
    EXPECT_EQ(order.messages[0].style & vbYesNo, 0) << "nobody is left to answer it";
    queue.drainInto(order);
    EXPECT_EQ(order.seen.size(), 4u);
}

}  // namespace

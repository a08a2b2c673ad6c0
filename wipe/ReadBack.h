// The check of a drive's passes. For each pass the plan asks to check, it notes the free space in
// the file system's own map when the pass begins, what the pass wrote where (a ledger, no copy of
// the data), what the fill files covered of that free space when they are closed, and, once they
// are gone, reads their blocks back from the drive's device and compares them with the ledger. A
// block that reads back with other content and is still free was not overwritten: the drive's
// fill runs that pass once more, and what still fails when the drive's fill ends makes the drive
// incomplete. What cannot be read back says why; that alone never makes a drive incomplete.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/DiskMap.h"
#include "platform/Platform.h"
#include "wipe/PassLedger.h"
#include "wipe/RunAccount.h"

class FillContext;

// The status text while a pass is read back.
inline constexpr const char* kReadingBackText = "Reading back the overwritten free-space.";

class PassCheck {
public:
    PassCheck(FillContext& run, const std::string& root, DriveAccount& account);
    PassCheck(const PassCheck&) = delete;
    PassCheck& operator=(const PassCheck&) = delete;
    ~PassCheck();

    // A pass has begun; its account is the drive's last.
    void passStarted();
    // A fill write reached the file.
    void wrote(FillHandle file, const char* block, std::size_t size);
    // The pass's fill files (0 for one never made) are about to be closed: where they lie, what
    // they covered and who holds what they did not reach.
    void filesClosing(FillHandle bulk, FillHandle tail);
    // Reads back what the pass wrote once its files are gone. True when blocks were found not
    // overwritten and the pass has not yet run once more: the caller then runs it again.
    bool readBack();
    // Before a pass runs once more: the device's cached blocks written out and dropped.
    void flush();

private:
    bool wanted(const PassAccount& pass) const;
    PassAccount& pass() { return account_.passes.at(passIndex_); }
    void openDevice();
    // Notes why the pass was not read back.
    void notVerified(const std::string& why);
    // Reads the fill's blocks back and sorts them into as written, zeros and other content.
    void compare(std::vector<Extent>& verified, std::vector<Extent>& zeros,
                 std::vector<Extent>& other, bool& stopped);
    // The stretches of those given that the file system says are free now (all of them when it
    // keeps no map: nothing shows that a file took them).
    std::vector<Extent> stillFree(const std::vector<Extent>& extents);
    void paintMap(const std::vector<Extent>& verified, const std::vector<Extent>& discarded);
    std::string passName() const;

    FillContext& run_;
    const std::string root_;
    DriveAccount& account_;
    std::size_t passIndex_ = 0;
    bool checking_ = false;
    bool repeatNext_ = false;
    // The drive's device, opened at its first checked pass; or why it could not be.
    DeviceHandle device_ = 0;
    bool deviceTried_ = false;
    std::string deviceRefused_;
    // The pass's free space in the file system's map when it began, and the device's length.
    bool mapped_ = false;
    std::vector<Extent> freeAtStart_;
    std::uint64_t deviceBytes_ = 0;
    // Where the fill files lay; what of the free space they did not reach.
    bool placed_ = false;
    std::vector<Extent> fill_;
    std::vector<Extent> notReached_;
    // Blocks read back with other content than was written, still free: the drive's shortfall.
    std::vector<Extent> failed_;
    PassLedger ledger_;
};

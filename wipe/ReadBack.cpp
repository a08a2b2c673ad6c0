// The check of a drive's passes: coverage from the file system's map, read-back from the device.
#include "wipe/ReadBack.h"

#include <algorithm>
#include <utility>

#include "platform/Block.h"
#include "wipe/DriveFill.h"
#include "wipe/Extents.h"

namespace {

// Bytes compared at a time, at device offsets that are multiples of it: a block of the file
// systems the read-back knows (and of 4096-byte sectors) never straddles two of them.
constexpr std::size_t kUnit = 4096;
// Bytes read at a time: large reads, so that the device is read at its own rate.
constexpr std::size_t kChunk = 8u << 20;
// How often, and how far apart, the map is asked whether blocks are free yet: a file system may
// release a deleted file's blocks after its sync (xfs takes a moment).
constexpr int kReleaseChecks = 20;
constexpr double kReleaseWait = 0.1;

std::uint64_t roundUp(std::uint64_t value, std::uint64_t to) {
    return (value + to - 1) / to * to;
}

bool allZero(const char* bytes, std::size_t size) {
    return std::all_of(bytes, bytes + size, [](char c) { return c == 0; });
}

// The words for who held a stretch the fill did not reach, when the pass's files were closed:
// with the disk full, what is still free is the file system's reserve.
const char* holderName(SpaceOwner owner) {
    switch (owner) {
        case SpaceOwner::Free:
            return "reserve";
        case SpaceOwner::Metadata:
            return "metadata";
        case SpaceOwner::File:
            return "files";
        case SpaceOwner::Unknown:
        default:
            return "in_use";
    }
}

}  // namespace

PassCheck::PassCheck(FillContext& run, const std::string& root, DriveAccount& account)
    : run_(run), root_(root), account_(account) {}

PassCheck::~PassCheck() {
    if (device_ != 0) {
        try {
            run_.target().closeDevice(device_);
        } catch (...) {
            // Closing a device opened for reading loses nothing.
        }
    }
}

bool PassCheck::wanted(const PassAccount& p) const {
    switch (run_.plan().verify) {
        case VerifyMode::All:
            return true;
        case VerifyMode::Last:
            return p.quotes;  // the quotes pass is every drive's last
        case VerifyMode::Off:
        default:
            return false;
    }
}

void PassCheck::openDevice() {
    if (deviceTried_) return;
    deviceTried_ = true;
    try {
        device_ = run_.target().openDevice(root_);
    } catch (const RuntimeError& e) {
        deviceRefused_ = e.words();
    }
}

void PassCheck::passStarted() {
    passIndex_ = account_.passes.size() - 1;
    PassAccount& p = pass();
    p.repeated = std::exchange(repeatNext_, false);
    checking_ = wanted(p);
    mapped_ = placed_ = false;
    freeAtStart_.clear();
    fill_.clear();
    notReached_.clear();
    ledger_.clear();
    if (!checking_) return;
    p.checked = account_.checked = true;
    openDevice();
    std::optional<SpaceMap> map;
    try {
        map = run_.target().spaceMap(root_, {});
    } catch (const RuntimeError&) {
        // A map that cannot be read is no map: the coverage stays unmeasured.
    }
    if (!map || map->empty()) return;
    mapped_ = true;
    freeAtStart_ = HeldBy(*map, SpaceOwner::Free);
    deviceBytes_ = map->back().extent.end();
    p.freeExtentsBytes = static_cast<std::int64_t>(TotalLength(freeAtStart_));
}

void PassCheck::wrote(FillHandle file, const char* block, std::size_t size) {
    if (checking_) ledger_.wrote(file, block, size);
}

void PassCheck::filesClosing(FillHandle bulk, FillHandle tail) {
    if (!checking_) return;
    for (const FillHandle file : {bulk, tail}) {
        if (file == 0) continue;
        std::optional<std::vector<FileExtent>> extents;
        try {
            extents = run_.target().fillExtents(file);
        } catch (const RuntimeError&) {
            // Where the file lies is not known: its blocks cannot be read back.
        }
        ledger_.placed(file, std::move(extents));
    }
    placed_ = true;
    for (const auto& [file, f] : ledger_.files()) {
        if (!f.extents) {
            placed_ = false;
            continue;
        }
        // Up to the file's last block written: a file system may hold more for it beyond.
        const std::uint64_t end = roundUp(f.length, kUnit);
        for (const FileExtent& e : *f.extents) {
            if (e.plain && e.logical < end) {
                fill_.push_back({e.physical, std::min(e.length, end - e.logical)});
            }
        }
    }
    fill_ = Joined(std::move(fill_));
    if (!mapped_ || !placed_) return;
    PassAccount& p = pass();
    p.coveredBytes = static_cast<std::int64_t>(TotalLength(Intersection(freeAtStart_, fill_)));
    notReached_ = Difference(freeAtStart_, fill_);
    std::optional<SpaceMap> holders;
    try {
        holders = run_.target().spaceMap(root_, notReached_);
    } catch (const RuntimeError&) {
    }
    if (!holders) return;
    for (const SpaceExtent& piece : *holders)
        p.notReached[holderName(piece.owner)] += static_cast<std::int64_t>(piece.extent.length);
}

void PassCheck::notVerified(const std::string& why) {
    pass().notVerified = why;
    account_.notVerified = why;
    account_.verifiedBytes = -1;
}

bool PassCheck::readBack() {
    if (!checking_) return false;
    checking_ = false;
    if (device_ == 0) {
        notVerified(deviceRefused_);
    } else if (!placed_) {
        notVerified("the file system does not tell where a file's data lies");
    }
    if (device_ == 0 || !placed_) {
        paintMap({}, {});
        return false;
    }
    FillTarget& target = run_.target();
    run_.observer().statusText(root_, kReadingBackText);
    const double start = target.monotonicSeconds();
    std::vector<Extent> verified, zeros, other;
    bool stopped = false;
    try {
        // The deleted fill files' blocks released and everything on the device; then no copy of
        // a block kept in memory may be written back over the fill later (where this process may
        // drop them: it takes CAP_SYS_ADMIN).
        target.syncDrive(root_);
        try {
            target.flushDevice(device_);
        } catch (const RuntimeError&) {
        }
        compare(verified, zeros, other, stopped);
    } catch (const RuntimeError& e) {
        notVerified("the disk could not be read back (" + e.words() + ")");
        return false;
    }
    if (stopped) {
        notVerified("the run was stopped during the read-back");
        return false;
    }

    // Blocks another file or the file system took since the fill files were deleted are not
    // the wipe's to answer for. Zeros count as discarded only where freed blocks are discarded.
    std::vector<Extent> discarded;
    if (account_.facts.discardsFreedBlocks) {
        discarded = stillFree(zeros);
    } else {
        other.insert(other.end(), zeros.begin(), zeros.end());
    }
    const std::vector<Extent> notOverwritten = stillFree(other);

    PassAccount& p = pass();
    p.verifiedBytes = static_cast<std::int64_t>(TotalLength(verified));
    p.notOverwrittenBytes = static_cast<std::int64_t>(TotalLength(notOverwritten));
    p.discardedBytes = static_cast<std::int64_t>(TotalLength(discarded));
    account_.verifiedBytes = p.verifiedBytes;
    account_.notVerified.clear();

    // What earlier read-backs found: what this one read back as written is done now; the rest
    // counts while it is still free. Then what this one found.
    std::vector<Extent> failed = stillFree(Difference(failed_, verified));
    failed.insert(failed.end(), notOverwritten.begin(), notOverwritten.end());
    failed_ = Joined(std::move(failed));
    account_.notOverwrittenBytes = static_cast<std::int64_t>(TotalLength(failed_));
    paintMap(verified, discarded);
    p.verifySeconds = target.monotonicSeconds() - start;

    const bool again = p.notOverwrittenBytes > 0 && !p.repeated;
    repeatNext_ = again;
    return again;
}

void PassCheck::compare(std::vector<Extent>& verified, std::vector<Extent>& zeros,
                        std::vector<Extent>& other, bool& stopped) {
    Block buffer(kChunk, '\0');
    for (const auto& [file, f] : ledger_.files()) {
        for (const FileExtent& e : *f.extents) {
            // Bytes past the last write, and pieces not kept plain, are not compared.
            if (!e.plain || e.logical >= f.length) continue;
            const std::uint64_t length = std::min(e.length, f.length - e.logical);
            for (std::uint64_t done = 0; done < length;) {
                const auto n = static_cast<std::size_t>(
                    std::min<std::uint64_t>(kChunk - (e.physical + done) % kUnit, length - done));
                run_.target().readDevice(device_, e.physical + done, buffer.data(), n);
                for (std::size_t i = 0; i < n;) {
                    const std::uint64_t at = e.physical + done + i;
                    const std::size_t size = std::min<std::size_t>(kUnit - at % kUnit, n - i);
                    const char* bytes = buffer.data() + i;
                    if (f.holds(e.logical + done + i, bytes, size)) {
                        AppendExtent(verified, {at, size});
                    } else {
                        AppendExtent(allZero(bytes, size) ? zeros : other, {at, size});
                    }
                    i += size;
                }
                done += n;
                // A large drive reads for minutes: the window stays responsive, and a stop is
                // taken up between two reads.
                run_.observer().yield();
                if (run_.stopRequested()) {
                    stopped = true;
                    return;
                }
            }
        }
    }
}

std::vector<Extent> PassCheck::stillFree(const std::vector<Extent>& extents) {
    if (extents.empty()) return {};
    const std::uint64_t all = TotalLength(extents);
    for (int attempt = 1;; ++attempt) {
        std::optional<SpaceMap> now;
        try {
            now = run_.target().spaceMap(root_, extents);
        } catch (const RuntimeError&) {
        }
        if (!now) return Joined(extents);
        std::vector<Extent> free = Intersection(extents, HeldBy(*now, SpaceOwner::Free));
        if (TotalLength(free) == all || attempt == kReleaseChecks) return free;
        // xfs releases a deleted file's blocks in the background, after the sync: the fill
        // files' own blocks would read as taken by a file.
        run_.target().sleepFor(kReleaseWait);
        try {
            run_.target().syncDrive(root_);
        } catch (const RuntimeError&) {
        }
    }
}

std::string PassCheck::passName() const {
    const PassAccount& p = account_.passes.at(passIndex_);
    std::string name = "quotes pass";
    if (!p.quotes) {
        int number = 0;
        for (std::size_t i = 0; i <= passIndex_; ++i) {
            if (!account_.passes[i].quotes && !account_.passes[i].repeated) ++number;
        }
        name = "random pass " + std::to_string(number);
    }
    return p.repeated ? name + ", run once more" : name;
}

void PassCheck::paintMap(const std::vector<Extent>& verified,
                         const std::vector<Extent>& discarded) {
    if (!mapped_ || !placed_) return;
    CoverageMap& map = account_.map;
    map.deviceBytes = deviceBytes_;
    map.pass = passName();
    map.pieces.clear();
    const auto paint = [&](const std::vector<Extent>& extents, BlockState state) {
        for (const Extent& e : extents)
            map.pieces.push_back({e, state});
    };
    paint({{0, deviceBytes_}}, BlockState::Used);
    paint(notReached_, BlockState::NotReached);
    paint(Intersection(freeAtStart_, fill_), BlockState::Written);
    paint(verified, BlockState::Verified);
    paint(discarded, BlockState::Discarded);
    paint(failed_, BlockState::NotOverwritten);
}

void PassCheck::flush() {
    if (device_ == 0) return;
    try {
        run_.target().flushDevice(device_);
    } catch (const RuntimeError&) {
        // Without CAP_SYS_ADMIN the pass runs once more all the same.
    }
}

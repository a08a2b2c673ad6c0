// The account of a wipe run: what every pass on every drive found free, wrote and met, what of
// each drive was out of reach, and the outcome that follows. A run is only reported complete
// where the account shows it: a fill that did not happen must never read as done.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/DiskMap.h"
#include "platform/Platform.h"

struct PassAccount {
    bool quotes = false;           // the quotes pass; the others are random passes
    std::int64_t freeAtStart = 0;  // bytes, from the probe at the start of the pass
    std::int64_t written = 0;      // bytes that reached the fill files
    std::int64_t freeAtEnd = -1;   // bytes, probed when the last stage ended; -1: not reached
    double seconds = 0;
    // Every error of the pass other than Disk full: number -> how often; and how many of them
    // were fill writes, with the system's words for each number.
    std::map<int, std::int64_t> errors;
    std::map<int, std::int64_t> failedWrites;
    std::map<int, std::string> systemTexts;
    std::map<int, std::string> paths;  // the file or directory the error concerned, last seen
    // What the system said when a write found no room ("Disk quota exceeded"), if one did.
    std::string noRoom;
    // Fill files given up (something else had the name, or the file was not its own), each in
    // words that name the object: "quote00.qlk in the top directory is a directory, ...".
    std::vector<std::string> refusals;

    // The check of a pass, where the plan asks for one (bytes; -1 where not measured).
    bool checked = false;
    // The pass ran once more: the read-back before it found blocks not overwritten.
    bool repeated = false;
    // The free space in the file system's own map when the pass began; of it, what lay under the
    // fill files when they were closed, and what did not, by what held it then ("metadata",
    // "files", "in use" when the file system does not tell whose, "free" for its reserve).
    std::int64_t freeExtentsBytes = -1;
    std::int64_t coveredBytes = -1;
    std::map<std::string, std::int64_t> notReached;
    // Read back from the device once the fill files were gone: as written; with other content and
    // still free; as zeros on a device that discards freed blocks.
    std::int64_t verifiedBytes = -1;
    std::int64_t notOverwrittenBytes = -1;
    std::int64_t discardedBytes = -1;
    double verifySeconds = 0;
    // Why the pass was not read back, in words; empty when it was.
    std::string notVerified;
};

// What a block of a drive held by the end of its last checked pass: in use when the pass began;
// overwritten and read back as written; overwritten but not read back (or taken by a file
// since); not reached by the fill; read back with other content than was written; read back as
// zeros on a device that discards freed blocks.
enum class BlockState { Used, Verified, Written, NotReached, NotOverwritten, Discarded };

// The data of a drive's coverage picture: its device, painted piece by piece, a later piece over
// an earlier one (the first covers the whole device). Empty when nothing was measured.
struct CoverageMap {
    std::uint64_t deviceBytes = 0;
    std::string pass;  // which pass it shows: "quotes pass", "random pass 2"
    struct Piece {
        Extent extent;
        BlockState state;
    };
    std::vector<Piece> pieces;
};

// How a drive's names stage ended: it never ran (the passes were stopped, or a run of old), the
// plan skipped it, the file system is one it knows nothing to do on, or it did its work (all of
// it, part of it, nothing for a failure, or stopped halfway).
enum class NamesOutcome { NotRun, Skipped, Unsupported, Complete, Partial, Failed, Stopped };
// "not run", "skipped", "not supported", "complete", "partial", "failed", "stopped"
const char* NamesOutcomeName(NamesOutcome outcome);

struct NamesAccount {
    NamesOutcome outcome = NamesOutcome::NotRun;
    std::string reason;  // why not complete, in plain words
    double seconds = 0;
    std::uint64_t rewriteBytes = 0;    // journal, log or free metadata there was to rewrite
    std::uint64_t bytesRewritten = 0;  // what the file system rewrote of it (or the least)
};

enum class DriveOutcome { NotStarted, Stopped, Complete, Incomplete };
// "not started", "stopped", "complete", "incomplete"
const char* OutcomeName(DriveOutcome outcome);

struct DriveAccount {
    std::string root;  // "C:\"
    DriveFacts facts;
    bool started = false;   // its fill cycle began
    bool finished = false;  // its fill cycle ran to its end without a stop or exit request
    std::vector<PassAccount> passes;
    // Bytes free once the finished cycle had removed its fill files; -1 when not measured (a
    // fill file was left, or the probe failed).
    std::int64_t freeAfter = -1;
    NamesAccount names;
    DriveOutcome outcome = DriveOutcome::NotStarted;
    std::string reason;  // in plain words; empty for a complete drive

    // The read-back: whether a pass of the drive was to be checked; the bytes its last read-back
    // found as written (-1: none was read back) and why not; the bytes read back with other
    // content than was written and still free when the drive's fill ended, by then; the picture.
    bool checked = false;
    std::int64_t verifiedBytes = -1;
    std::string notVerified;
    std::int64_t notOverwrittenBytes = 0;
    CoverageMap map;
};

struct RunAccount {
    bool open = false;  // a run is being accounted for and has not been reported yet
    std::string start, end;
    int randomPasses = 0;
    std::vector<DriveAccount> drives;

    // The position in drives of the drive with that root, its account made on first use.
    std::size_t index(const std::string& root);
};

// Sets every drive's outcome and reason from its facts and passes. A finished drive is complete
// when no pass met an error other than Disk full, every pass ended with no more free space that
// this process could write than one bulk block or 1 % of its starting free space (whichever is
// larger), its free space at the end is not lower than when the first pass began by more than
// one bulk block, nothing was kept out of this process's reach for root, and its names stage
// did not fail or do only part of its work.
void AssessOutcomes(RunAccount& run);
bool AnyIncomplete(const RunAccount& run);

// "C: /srv/data: 0 of 1,929 MB overwritten - Device I/O error on 2,011 writes", one per
// incomplete drive.
std::vector<std::string> IncompleteLines(const RunAccount& run);
// "C: /srv/data: 3 passes, 1,929 MB per pass, 412 MB/s, complete", one per drive.
std::vector<std::string> SummaryLines(const RunAccount& run);
// "C:, D:": the drives left incomplete.
std::string IncompleteDriveNames(const RunAccount& run);

// What was read back of each finished drive whose passes were checked: "C: /srv/data: verified
// 1,929 MB" or "C: /srv/data: not verified - reading the disk back needs root".
std::vector<std::string> VerificationLines(const RunAccount& run);

// The run as one line of JSON for the run report.
std::string RunReportLine(const RunAccount& run, const std::string& version,
                          const std::string& host, int exitStatus);

// Whole megabytes (MiB) with thousands separators: 2023000000 bytes give "1,929".
std::string Megabytes(std::int64_t bytes);
// A number with thousands separators: 2023000000 gives "2,023,000,000".
std::string Grouped(std::int64_t value);

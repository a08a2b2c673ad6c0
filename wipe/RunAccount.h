// The account of a wipe run: what every pass on every drive found free, wrote and met, what of
// each drive was out of reach, and the outcome that follows. A run is only reported complete
// where the account shows it: a fill that did not happen must never read as done.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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

// The run as one line of JSON for the run report.
std::string RunReportLine(const RunAccount& run, const std::string& version,
                          const std::string& host, int exitStatus);

// Whole megabytes (MiB) with thousands separators: 2023000000 bytes give "1,929".
std::string Megabytes(std::int64_t bytes);
// A number with thousands separators: 2023000000 gives "2,023,000,000".
std::string Grouped(std::int64_t value);

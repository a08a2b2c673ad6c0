// The outcome of a run and how it is put in words: per drive, from what its passes measured.
#include "wipe/RunAccount.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/FillGeometry.h"
#include "runtime/RuntimeError.h"

namespace {

// 1929 gives "1,929": digits in groups of three from the right.
std::string grouped(std::int64_t value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string text = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string plural(std::int64_t n, const char* one, const char* many) {
    return grouped(n) + " " + (n == 1 ? one : many);
}

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// The free space a pass may leave and still count as a full fill: one bulk block (what a counted
// fill may leave even when all goes well) or 1 % of its free space at the start. The free space
// measured is what this process could still write: the probe leaves out the file system's own
// reserve and the blocks kept for root already, so that reserve is not allowed for again (on a
// small btrfs it is 78 MB, which a quota or another program could leave unwritten).
std::int64_t allowance(const PassAccount& p) {
    return std::max(static_cast<std::int64_t>(kBulkBlock), p.freeAtStart / 100);
}

bool fellShort(const PassAccount& p) {
    return !p.errors.empty() || p.freeAtEnd < 0 || p.freeAtEnd > allowance(p);
}

double writtenShare(const PassAccount& p) {
    return p.freeAtStart > 0 ? static_cast<double>(p.written) / static_cast<double>(p.freeAtStart)
                             : 1.0;
}

// "Device I/O error on 2,011 writes and 2 other file operations, Permission denied (Read-only
// file system) on 1 file operation": each error with the system's own words where they differ.
std::string errorWords(const DriveAccount& d) {
    std::map<int, std::int64_t> all, writes;
    std::map<int, std::string> texts;
    // Fill files given up are named in their own words, each once.
    std::vector<std::string> named;
    std::string words;
    for (const PassAccount& p : d.passes) {
        for (const std::string& refusal : p.refusals) {
            if (std::find(named.begin(), named.end(), refusal) != named.end()) continue;
            named.push_back(refusal);
            words += (words.empty() ? "" : ", ") + refusal;
        }
        for (const auto& [number, count] : p.errors)
            all[number] += count;
        for (const auto& [number, count] : p.failedWrites)
            writes[number] += count;
        for (const auto& [number, text] : p.systemTexts) {
            if (!text.empty()) texts[number] = text;
        }
    }
    for (const auto& [number, count] : all) {
        if (number == Err::FileAlreadyExists && !named.empty()) continue;
        std::string what = ErrorDescription(number);
        if (what.empty()) what = "Error " + std::to_string(number);
        const std::string& system = texts[number];
        if (!system.empty() && lower(system) != lower(what)) what += " (" + system + ")";
        const std::int64_t others = count - writes[number];
        if (writes[number] > 0) what += " on " + plural(writes[number], "write", "writes");
        if (others > 0 && writes[number] > 0) {
            what += " and " + plural(others, "other file operation", "other file operations");
        } else if (others > 0) {
            what += " on " + plural(others, "file operation", "file operations");
        }
        if (!words.empty()) words += ", ";
        words += what;
    }
    return words;
}

// Why the passes did not overwrite the free space, naming the pass that did least.
std::string shortfall(const DriveAccount& d) {
    const PassAccount* worst = nullptr;
    for (const PassAccount& p : d.passes) {
        if (fellShort(p) && (worst == nullptr || writtenShare(p) < writtenShare(*worst))) {
            worst = &p;
        }
    }
    if (worst == nullptr) return "";
    std::string cause = errorWords(d);
    if (cause.empty()) cause = worst->noRoom;
    if (cause.empty() && worst->freeAtEnd >= 0) {
        cause = Megabytes(worst->freeAtEnd) + " MB were still free when the pass ended";
    }
    if (cause.empty()) cause = "the pass did not reach its end";
    return Megabytes(worst->written) + " of " + Megabytes(worst->freeAtStart) +
           " MB overwritten - " + cause;
}

// Whole megabytes, a shortfall of a few blocks never shown as 0.
std::string atLeastOneMegabyte(std::int64_t bytes) {
    return bytes > 0 && bytes < 1048576 / 2 ? "1" : Megabytes(bytes);
}

// ", verified 1,929 MB" or ", not verified (reading the disk back needs root)" for a finished
// drive whose passes were checked; nothing otherwise.
std::string verification(const DriveAccount& d) {
    if (!d.checked || !d.finished) return "";
    if (d.verifiedBytes < 0) return "not verified (" + d.notVerified + ")";
    std::string words = "verified " + Megabytes(d.verifiedBytes) + " MB";
    // Blocks the file system discarded read back as zeros: as good as overwritten, but not the
    // fill that was written.
    const auto last = std::find_if(d.passes.rbegin(), d.passes.rend(),
                                   [](const PassAccount& p) { return p.verifiedBytes >= 0; });
    if (last != d.passes.rend() && last->discardedBytes > 0) {
        words += ", " + atLeastOneMegabyte(last->discardedBytes) + " MB discarded";
    }
    return words;
}

std::string driveName(const DriveAccount& d) {
    std::string name = d.root.substr(0, 2);
    if (!d.facts.mountPoint.empty()) name += " " + d.facts.mountPoint;
    return name;
}

}  // namespace

const char* OutcomeName(DriveOutcome outcome) {
    switch (outcome) {
        case DriveOutcome::Complete:
            return "complete";
        case DriveOutcome::Incomplete:
            return "incomplete";
        case DriveOutcome::Stopped:
            return "stopped";
        case DriveOutcome::NotStarted:
        default:
            return "not started";
    }
}

const char* NamesOutcomeName(NamesOutcome outcome) {
    switch (outcome) {
        case NamesOutcome::Skipped:
            return "skipped";
        case NamesOutcome::Unsupported:
            return "not supported";
        case NamesOutcome::Complete:
            return "complete";
        case NamesOutcome::Partial:
            return "partial";
        case NamesOutcome::Failed:
            return "failed";
        case NamesOutcome::Stopped:
            return "stopped";
        case NamesOutcome::NotRun:
        default:
            return "not run";
    }
}

std::string Grouped(std::int64_t value) {
    return grouped(value);
}

std::string Megabytes(std::int64_t bytes) {
    return grouped(static_cast<std::int64_t>(
        std::nearbyint(static_cast<double>(std::max<std::int64_t>(bytes, 0)) / 1048576.0)));
}

std::size_t RunAccount::index(const std::string& root) {
    for (std::size_t i = 0; i < drives.size(); ++i) {
        if (drives[i].root == root) return i;
    }
    drives.emplace_back().root = root;
    return drives.size() - 1;
}

void AssessOutcomes(RunAccount& run) {
    for (DriveAccount& d : run.drives) {
        d.reason.clear();
        if (!d.started) {
            d.outcome = DriveOutcome::NotStarted;
            d.reason = "the run ended before this drive";
            continue;
        }
        if (!d.finished) {
            d.outcome = DriveOutcome::Stopped;
            d.reason = "the run was stopped before this drive was done";
            continue;
        }
        d.reason = shortfall(d);
        // Space the run took and did not give back: a file grew meanwhile, or took in fill (a
        // link made to a fill file keeps its data after the fill file's name is gone).
        if (d.freeAfter >= 0 && !d.passes.empty() &&
            d.passes.front().freeAtStart - d.freeAfter > static_cast<std::int64_t>(kBulkBlock)) {
            if (!d.reason.empty()) d.reason += "; ";
            d.reason += "free space ended " +
                        Megabytes(d.passes.front().freeAtStart - d.freeAfter) +
                        " MB lower than it began - a file grew during the run";
        }
        // Blocks that read back with other content than was written (and were still free once
        // the pass had run once more) hold whatever they held before: not overwritten.
        if (d.notOverwrittenBytes > 0) {
            if (!d.reason.empty()) d.reason += "; ";
            d.reason += atLeastOneMegabyte(d.notOverwrittenBytes) +
                        " MB read back from the disk with other content than was written";
        }
        // The names of deleted files were to go too: a stage that could not do its work leaves
        // the drive short of what was asked.
        if (d.names.outcome == NamesOutcome::Failed || d.names.outcome == NamesOutcome::Partial) {
            if (!d.reason.empty()) d.reason += "; ";
            d.reason += std::string("names of deleted files not all cleared (") +
                        NamesOutcomeName(d.names.outcome) + ") - " + d.names.reason;
        }
        if (d.facts.rootReserveBytes > 0) {
            if (!d.reason.empty()) d.reason += "; ";
            d.reason += Megabytes(static_cast<std::int64_t>(d.facts.rootReserveBytes)) +
                        " MB reserved for root were not overwritten - run as root to include them";
        }
        d.outcome = d.reason.empty() ? DriveOutcome::Complete : DriveOutcome::Incomplete;
    }
}

bool AnyIncomplete(const RunAccount& run) {
    return std::any_of(run.drives.begin(), run.drives.end(),
                       [](const DriveAccount& d) { return d.outcome == DriveOutcome::Incomplete; });
}

std::vector<std::string> IncompleteLines(const RunAccount& run) {
    std::vector<std::string> lines;
    for (const DriveAccount& d : run.drives) {
        if (d.outcome == DriveOutcome::Incomplete) lines.push_back(driveName(d) + ": " + d.reason);
    }
    return lines;
}

std::string IncompleteDriveNames(const RunAccount& run) {
    std::string names;
    for (const DriveAccount& d : run.drives) {
        if (d.outcome != DriveOutcome::Incomplete) continue;
        if (!names.empty()) names += ", ";
        names += d.root.substr(0, 2);
    }
    return names;
}

std::vector<std::string> SummaryLines(const RunAccount& run) {
    std::vector<std::string> lines;
    for (const DriveAccount& d : run.drives) {
        std::string line = driveName(d) + ": ";
        if (!d.passes.empty()) {
            std::int64_t written = 0;
            double seconds = 0;
            for (const PassAccount& p : d.passes) {
                written += p.written;
                seconds += p.seconds;
            }
            const auto passes = static_cast<std::int64_t>(d.passes.size());
            const auto repeated = std::count_if(d.passes.begin(), d.passes.end(),
                                                [](const PassAccount& p) { return p.repeated; });
            line += plural(passes, "pass", "passes");
            if (repeated > 0) line += " (" + grouped(repeated) + " run once more)";
            line += ", " + Megabytes(written / passes) + " MB per pass, ";
            if (seconds > 0) {
                line += grouped(static_cast<std::int64_t>(
                            std::nearbyint(static_cast<double>(written) / 1048576.0 / seconds))) +
                        " MB/s, ";
            }
        }
        line += OutcomeName(d.outcome);
        if (d.facts.flash) line += " (flash storage: cells it has remapped are out of reach)";
        if (const std::string checked = verification(d); !checked.empty()) {
            line += ", " + checked;
        }
        if (d.names.outcome == NamesOutcome::Complete) line += ", names of deleted files cleared";
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> VerificationLines(const RunAccount& run) {
    std::vector<std::string> lines;
    for (const DriveAccount& d : run.drives) {
        std::string checked = verification(d);
        if (checked.empty()) continue;
        if (d.verifiedBytes < 0) checked = "not verified - " + d.notVerified;
        lines.push_back(driveName(d) + ": " + checked);
    }
    return lines;
}

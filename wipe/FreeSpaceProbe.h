// The free-space probe of a drive: the once-per-start question about the system's paging file,
// then the free space in thousands of bytes and, while it fits 32 bits, in bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "log/ErrorLog.h"
#include "wipe/FillTarget.h"
#include "wipe/RunObserver.h"
#include "wipe/WipePlan.h"

// What a probe found. FreeSpaceK and FreeSpaceBytes are the figures the fill counts with
// (rounded, and limited to 32 bits); ProbedFreeBytes is exact, for the run's account.
struct FreeSpace {
    std::int64_t FreeSpaceK = 0;
    std::int32_t FreeSpaceBytes = 0;
    bool LargeFreeSpace = false;
    std::int64_t ProbedFreeBytes = 0;
};

enum class ProbeOutcome {
    Read,        // the figures are the drive's
    Unreadable,  // neither form of the call could read it: the user has been told
    ExitChosen,  // the user chose to end the program over the paging file
};

class FreeSpaceProbe {
public:
    FreeSpaceProbe(const WipePlan& plan, FillTarget& target, ErrorLogSink log);

    // Probes the drive whose root is given ("C:\"), asking and telling the user through the
    // observer. Figures that could not be read keep what they held before.
    ProbeOutcome probe(const std::string& drive, FreeSpace& space, RunObserver& observer);

    // Whether the paging-file question is still to be asked this start.
    bool questionPending() const { return questionPending_.load(); }

private:
    const WipePlan& plan_;
    FillTarget& target_;
    ErrorLogSink log_;
    std::atomic<bool> questionPending_;
};

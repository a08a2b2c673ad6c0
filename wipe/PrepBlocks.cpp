// PrepBlocks: builds the two fill sets of a run, the random set from the random text file (written
// here when it is missing, damaged or asked for) and the quotes set from the shipped quotes file.
#include "wipe/PrepBlocks.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "log/ErrorLog.h"
#include "platform/FillGeometry.h"
#include "runtime/Numeric.h"

namespace {

constexpr std::size_t kLineLength = 10500;
constexpr int kFileLines = 21;
// Only the first 20 lines are used; the 21st proves that the 20th was read whole.
constexpr int kUsedLines = 20;
// Lines drawn into each of the three partial strings of a random block: nearest(960000/31500 + 1).
constexpr int kTurns = 31;
constexpr int kPartials = 3;
// Characters placed in blocks by a complete build: 3 x 960000 + 3 x 96000 + 3 x 960000.
constexpr double kPrepTotal = 6048000.0;

const char* const kRandomName = "QuellixRandom.sav";
const char* const kRandomPattern = "QuellixRandom*.sav";
const char* const kQuotesName = "QuellixQuotes.sav";

// What one preparation works with.
struct Prep {
    Platform& platform;
    Rnd& random;
    RunObserver& observer;
    const std::function<bool()>& stopRequested;
    ErrorHandler& on;
    const std::string& lastError;  // the system's words for the latest failure
};

bool requested(const Prep& w) {
    return w.stopRequested();
}

// One of count items, each equally likely.
std::size_t pick(Rnd& rnd, std::size_t count) {
    const auto k =
        static_cast<std::size_t>(static_cast<double>(rnd()) * static_cast<double>(count));
    return std::min(k, count - 1);
}

// A character code from 33 to 255: never a control character, blank or line break, so every
// line reads back whole.
char randomChar(Rnd& rnd) {
    const double code = nearest(static_cast<double>(rnd()) * 222.0 + 33.0);
    return static_cast<char>(static_cast<unsigned char>(code));
}

// The start of a random sub-block, 1 to 10001, as an offset.
std::size_t subStart(Rnd& rnd) {
    return static_cast<std::size_t>(nearest(static_cast<double>(rnd()) * 10000.0 + 1.0)) - 1;
}

// What the source holds from start on, at most length characters (a short source gives a short
// block, which the fill cycle refuses to write).
Block mid(const Block& source, std::size_t start, std::size_t length) {
    if (start >= source.size()) return Block();
    return source.substr(start, length);
}

void showProgress(Prep& w, std::int64_t placed) {
    const double percent = nearest(static_cast<double>(placed) / kPrepTotal * 100.0);
    w.observer.preparing(static_cast<int>(std::min(percent, 100.0)));
}

// Writes 21 lines of new random text. Returns why the file could not be written, or "".
std::string writeRandomText(Prep& w, const std::string& dir, const std::string& path) {
    Platform& p = w.platform;
    ErrorHandler& on = w.on;
    const std::string& lastError = w.lastError;
    const std::string pattern = dir + "/" + kRandomPattern;
    // Testing first keeps a first run (no file yet) out of the error log.
    on([&] {
        if (p.fileExists(pattern)) p.deleteMatching(pattern);
    });
    TextHandle file = 0;
    if (!on([&] { file = p.openText(path, TextMode::Output); })) return lastError;
    std::string failure;
    std::string line;
    line.reserve(kLineLength);
    for (int n = 0; n < kFileLines; ++n) {
        line.clear();
        for (std::size_t c = 0; c < kLineLength; ++c) {
            line.push_back(randomChar(w.random));
            // After a request every remaining line gets one character, so the file fails the
            // validity test and is written anew next time.
            if (requested(w)) break;
        }
        // One failed line is enough: the file cannot be valid, and the rest would only repeat
        // the same error in the log.
        if (!on([&] { p.writeLine(file, line); })) {
            failure = lastError;
            break;
        }
    }
    if (!on([&] { p.closeText(file); }) && failure.empty()) failure = lastError;
    return failure;
}

// Reads the lines used by a run. Returns why the file fails the validity test, or "".
std::string readRandomText(Prep& w, const std::string& path, std::vector<std::string>& lines) {
    Platform& p = w.platform;
    ErrorHandler& on = w.on;
    const std::string& lastError = w.lastError;
    lines.clear();
    TextHandle file = 0;
    if (!on([&] { file = p.openText(path, TextMode::Input); })) return lastError;
    std::string invalid;
    for (int i = 1; i <= kUsedLines && invalid.empty(); ++i) {
        std::string line;
        bool endBefore = false;
        bool endAfter = false;
        const bool read = on([&] {
            // Testing for the end first spares the log a read past the end of the file.
            endBefore = p.atEnd(file);
            if (endBefore) return;
            line = p.readLine(file);
            endAfter = p.atEnd(file);
        });
        if (!read) {
            invalid = lastError;
        } else if (endBefore) {
            invalid = "it ends after line " + std::to_string(i - 1);
        } else if (endAfter) {
            invalid = "it ends at line " + std::to_string(i);
        } else if (line.size() < kLineLength) {
            invalid = "line " + std::to_string(i) + " holds fewer than 10500 characters";
        } else {
            lines.push_back(std::move(line));
        }
    }
    on([&] { p.closeText(file); });
    return invalid;
}

// The quotes up to the line "end"; the file's last line is never one. Empty quotes are left out:
// they add nothing to a block, and a list of nothing but empty lines would never fill one.
std::vector<std::string> readQuotes(Prep& w, const std::string& path) {
    Platform& p = w.platform;
    ErrorHandler& on = w.on;
    std::vector<std::string> quotes;
    TextHandle file = 0;
    if (!on([&] { file = p.openText(path, TextMode::Input); })) return quotes;
    for (bool done = false; !done;) {
        const bool read = on([&] {
            if (p.atEnd(file)) {
                done = true;
                return;
            }
            std::string line = p.readLine(file);
            if (line == "end" || p.atEnd(file)) {
                done = true;
            } else if (!line.empty()) {
                quotes.push_back(std::move(line));
            }
        });
        if (!read) done = true;
    }
    on([&] { p.closeText(file); });
    return quotes;
}

void showRandomFileFailure(Prep& w, const std::string& path, const std::string& what,
                           const std::string& reason) {
    const std::string text = "I'm sorry but the random fill file (" + path + ") could not be " +
                             what + ":\r\n " + reason +
                             ".\r\n The run has been stopped.  Quellix needs to be able to write "
                             "and read files in its own directory.";
    w.observer.message(text, vbOKOnly);
}

void showQuotesMissing(Prep& w) {
    const std::string text =
        std::string(
            "I'm sorry but the quotes file (QuellixQuotes.sav) is missing from "
            "Quellix's") +
        "\r\n" +
        " directory.  You will need to either reinstall Quellix or manually create another" +
        "\r\n" + " quotes file.  See Quellix's help file under Troubleshooting.";
    w.observer.message(text, vbOKOnly);
}

}  // namespace

PrepOutcome PrepBlocks(Platform& platform, Rnd& random, RunObserver& observer,
                       const std::function<bool()>& stopRequested, bool& newRandomFill,
                       FillSets& sets) {
    std::string lastError;
    ErrorHandler on(platform, "fQL PrepBlocks", [&lastError](const RuntimeError& e) {
        // The system's own words say more than the run time's ("Read-only file system" rather
        // than "Permission denied").
        lastError = !e.systemText().empty()   ? e.systemText()
                    : e.description().empty() ? "error " + std::to_string(e.number())
                                              : e.description();
        return false;  // remembered for a message, and logged all the same
    });
    Prep w{platform, random, observer, stopRequested, on, lastError};

    // The quotes ship with the program; the random text is written where the program may write.
    std::string dir;
    on([&] { dir = platform.programDirectory(); });
    std::string stateDir = dir;
    on([&] { stateDir = platform.stateDirectory(); });
    const std::string randomPath = stateDir + "/" + kRandomName;

    // The random text file is rewritten at most once per run: a directory where it cannot be
    // written or read back would otherwise keep the run writing it for ever.
    bool rewritten = false;
    std::vector<std::string> lines;
    for (;;) {
        on([&] {
            if (!platform.fileExists(randomPath)) newRandomFill = true;
        });
        if (newRandomFill) {
            observer.statusText("", "Creating a new random fill set - this will take a minute");
            const std::string failure = writeRandomText(w, stateDir, randomPath);
            rewritten = true;
            // A request that failed stays, so that it is still shown.
            if (failure.empty()) newRandomFill = false;
            if (requested(w)) return PrepOutcome::Stopped;
            if (!failure.empty()) {
                showRandomFileFailure(w, randomPath, "written", failure);
                return PrepOutcome::Failed;
            }
        }

        observer.statusText("", "Preparing large-block random and quotes sets");
        for (BlockArray* set : {&sets.RandomBlock960000, &sets.RandomBlock96000,
                                &sets.RandomBlock960, &sets.RandomBlock16}) {
            for (Block& b : *set)
                b.clear();
        }

        const std::string invalid = readRandomText(w, randomPath, lines);
        if (invalid.empty()) break;
        if (rewritten) {
            showRandomFileFailure(w, randomPath, "read back", invalid);
            return PrepOutcome::Failed;
        }
        newRandomFill = true;
    }

    // Random large blocks: three partial strings of 31 drawn lines each, joined and cut once.
    std::int64_t placed = 0;
    for (std::size_t i = 1; i <= 3; ++i) {
        std::array<std::array<std::size_t, kPartials>, kTurns> drawn{};
        for (int turn = 0; turn < kTurns && !requested(w); ++turn) {
            for (int k = 0; k < kPartials && !requested(w); ++k) {
                drawn[turn][k] = pick(random, lines.size());
            }
        }
        if (requested(w)) break;
        Block block;
        block.reserve(kBulkBlock);
        for (int k = 0; k < kPartials && block.size() < kBulkBlock; ++k) {
            for (int turn = 0; turn < kTurns && block.size() < kBulkBlock; ++turn) {
                const std::string& line = lines[drawn[turn][k]];
                block.append(line, 0, std::min(line.size(), kBulkBlock - block.size()));
            }
        }
        sets.RandomBlock960000[i] = std::move(block);
        placed += static_cast<std::int64_t>(kBulkBlock);
        showProgress(w, placed);
    }
    lines.clear();
    lines.shrink_to_fit();
    if (requested(w)) return PrepOutcome::Stopped;

    // Random small blocks: each a piece of its large block from its own random start.
    for (std::size_t i = 1; i <= 3; ++i) {
        sets.RandomBlock96000[i] = mid(sets.RandomBlock960000[i], subStart(random), kMediumBlock);
    }
    placed += static_cast<std::int64_t>(3 * kMediumBlock);
    showProgress(w, placed);
    for (std::size_t i = 1; i <= 3; ++i) {
        sets.RandomBlock960[i] = mid(sets.RandomBlock960000[i], subStart(random), kSmallBlock);
    }
    for (std::size_t i = 1; i <= 3; ++i) {
        sets.RandomBlock16[i] = mid(sets.RandomBlock960000[i], subStart(random), kTinyBlock);
    }

    // A quotes file without a single usable quote is as good as none.
    const std::string quotesPath = dir + "/" + kQuotesName;
    bool quotesPresent = false;
    on([&] { quotesPresent = platform.fileExists(quotesPath); });
    std::vector<std::string> quotes;
    if (quotesPresent) quotes = readQuotes(w, quotesPath);
    if (quotes.empty()) {
        showQuotesMissing(w);
        return PrepOutcome::Failed;
    }

    // Quote blocks: whole quotes drawn at random until the block is full, cut once.
    std::size_t longest = 0;
    for (const std::string& q : quotes)
        longest = std::max(longest, q.size());
    for (std::size_t i = 1; i <= 3; ++i) {
        Block block;
        block.reserve(kBulkBlock + longest);
        while (block.size() < kBulkBlock && !requested(w)) {
            block.append(quotes[pick(random, quotes.size())]);
        }
        if (block.size() > kBulkBlock) block.resize(kBulkBlock);
        sets.QuoteBlock960000[i] = std::move(block);
        placed += static_cast<std::int64_t>(kBulkBlock);
        showProgress(w, placed);
        if (requested(w)) break;
    }
    if (requested(w)) return PrepOutcome::Stopped;
    quotes.clear();
    quotes.shrink_to_fit();
    for (std::size_t i = 1; i <= 3; ++i)
        sets.QuoteBlock96000[i] = mid(sets.QuoteBlock960000[i], 0, kMediumBlock);
    for (std::size_t i = 1; i <= 3; ++i)
        sets.QuoteBlock960[i] = mid(sets.QuoteBlock960000[i], 0, kSmallBlock);
    for (std::size_t i = 1; i <= 3; ++i)
        sets.QuoteBlock16[i] = mid(sets.QuoteBlock960000[i], 0, kTinyBlock);
    observer.preparing(0);
    return PrepOutcome::Ready;
}

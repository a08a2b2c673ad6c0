// PrepBlocks: builds the two fill sets of a run, the random set from the random text file (written
// here when it is missing, damaged or asked for) and the quotes set from the shipped quotes file.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FillGeometry.h"
#include "runtime/Numeric.h"
#include "ui/frmQuellix.h"

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

bool requested(const frmQuellix& w) {
    return w.StopRequested || w.ExitRequested;
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

void showProgress(frmQuellix& w, ErrorHandler& on, std::int64_t placed) {
    const double percent = nearest(static_cast<double>(placed) / kPrepTotal * 100.0);
    w.progbarCurrent.Value = static_cast<int>(std::min(percent, 100.0));
    on([&] { w.desktop().DoEvents(); });
}

// Writes 21 lines of new random text. Returns why the file could not be written, or "".
std::string writeRandomText(frmQuellix& w, ErrorHandler& on, const std::string& dir,
                            const std::string& path, const std::string& lastError) {
    Platform& p = w.platform();
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
            line.push_back(randomChar(w.Random));
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
std::string readRandomText(frmQuellix& w, ErrorHandler& on, const std::string& path,
                           const std::string& lastError, std::vector<std::string>& lines) {
    Platform& p = w.platform();
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
std::vector<std::string> readQuotes(frmQuellix& w, ErrorHandler& on, const std::string& path) {
    Platform& p = w.platform();
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

void showRandomFileFailure(frmQuellix& w, ErrorHandler& on, const std::string& path,
                           const std::string& what, const std::string& reason) {
    const std::string text = "I'm sorry but the random fill file (" + path + ") could not be " +
                             what + ":\r\n " + reason +
                             ".\r\n The run has been stopped.  Quellix needs to be able to write "
                             "and read files in its own directory.";
    on([&] { w.desktop().ShowError(text); });
    w.StopRequested = true;
    w.ExitCode = ExitStopped;
}

void showQuotesMissing(frmQuellix& w, ErrorHandler& on) {
    const std::string text =
        std::string(
            "I'm sorry but the quotes file (QuellixQuotes.sav) is missing from "
            "Quellix's") +
        "\r\n" +
        " directory.  You will need to either reinstall Quellix or manually create another" +
        "\r\n" + " quotes file.  See Quellix's help file under Troubleshooting.";
    on([&] { w.desktop().ShowError(text); });
    w.StopRequested = true;
    w.ExitCode = ExitStopped;
}

}  // namespace

void frmQuellix::PrepBlocks() {
    std::string lastError;
    ErrorHandler on(platform(), "fQL PrepBlocks", [&lastError](const RuntimeError& e) {
        // The system's own words say more than the run time's ("Read-only file system" rather
        // than "Permission denied").
        lastError = !e.systemText().empty()   ? e.systemText()
                    : e.description().empty() ? "error " + std::to_string(e.number())
                                              : e.description();
        return false;  // remembered for a message, and logged all the same
    });

    // The quotes ship with the program; the random text is written where the program may write.
    std::string dir;
    on([&] { dir = platform().programDirectory(); });
    std::string stateDir = dir;
    on([&] { stateDir = platform().stateDirectory(); });
    const std::string randomPath = stateDir + "/" + kRandomName;

    // The random text file is rewritten at most once per run: a directory where it cannot be
    // written or read back would otherwise keep the run writing it for ever.
    bool rewritten = false;
    std::vector<std::string> lines;
    for (;;) {
        CaptionMode = CaptionPreparing;
        on([&] {
            if (!platform().fileExists(randomPath)) chkNewRndTxt.Value = 1;
        });
        if (chkNewRndTxt.Value == 1) {
            lblCurrentStatus.Caption = "Creating a new random fill set - this will take a minute";
            on([&] { desktop().DoEvents(); });
            const std::string failure = writeRandomText(*this, on, stateDir, randomPath, lastError);
            rewritten = true;
            // A request that failed stays checked, so that the box still shows it.
            if (failure.empty()) chkNewRndTxt.Value = 0;
            if (requested(*this)) return;
            if (!failure.empty()) {
                showRandomFileFailure(*this, on, randomPath, "written", failure);
                return;
            }
        }

        lblCurrentStatus.Caption = "Preparing large-block random and quotes sets";
        on([&] { desktop().DoEvents(); });
        for (BlockArray* set :
             {&RandomBlock960000, &RandomBlock96000, &RandomBlock960, &RandomBlock16}) {
            for (Block& b : *set)
                b.clear();
        }

        const std::string invalid = readRandomText(*this, on, randomPath, lastError, lines);
        if (invalid.empty()) break;
        if (rewritten) {
            showRandomFileFailure(*this, on, randomPath, "read back", invalid);
            return;
        }
        chkNewRndTxt.Value = 1;
    }

    // Random large blocks: three partial strings of 31 drawn lines each, joined and cut once.
    std::int64_t placed = 0;
    for (std::size_t i = 1; i <= 3; ++i) {
        std::array<std::array<std::size_t, kPartials>, kTurns> drawn{};
        for (int turn = 0; turn < kTurns && !requested(*this); ++turn) {
            for (int k = 0; k < kPartials && !requested(*this); ++k) {
                drawn[turn][k] = pick(Random, lines.size());
            }
        }
        if (requested(*this)) break;
        Block block;
        block.reserve(kBulkBlock);
        for (int k = 0; k < kPartials && block.size() < kBulkBlock; ++k) {
            for (int turn = 0; turn < kTurns && block.size() < kBulkBlock; ++turn) {
                const std::string& line = lines[drawn[turn][k]];
                block.append(line, 0, std::min(line.size(), kBulkBlock - block.size()));
            }
        }
        RandomBlock960000[i] = std::move(block);
        placed += static_cast<std::int64_t>(kBulkBlock);
        showProgress(*this, on, placed);
    }
    lines.clear();
    lines.shrink_to_fit();
    if (requested(*this)) return;

    // Random small blocks: each a piece of its large block from its own random start.
    for (std::size_t i = 1; i <= 3; ++i) {
        RandomBlock96000[i] = mid(RandomBlock960000[i], subStart(Random), kMediumBlock);
    }
    placed += static_cast<std::int64_t>(3 * kMediumBlock);
    showProgress(*this, on, placed);
    for (std::size_t i = 1; i <= 3; ++i) {
        RandomBlock960[i] = mid(RandomBlock960000[i], subStart(Random), kSmallBlock);
    }
    for (std::size_t i = 1; i <= 3; ++i) {
        RandomBlock16[i] = mid(RandomBlock960000[i], subStart(Random), kTinyBlock);
    }

    // A quotes file without a single usable quote is as good as none.
    const std::string quotesPath = dir + "/" + kQuotesName;
    bool quotesPresent = false;
    on([&] { quotesPresent = platform().fileExists(quotesPath); });
    std::vector<std::string> quotes;
    if (quotesPresent) quotes = readQuotes(*this, on, quotesPath);
    if (quotes.empty()) {
        showQuotesMissing(*this, on);
        return;
    }

    // Quote blocks: whole quotes drawn at random until the block is full, cut once.
    std::size_t longest = 0;
    for (const std::string& q : quotes)
        longest = std::max(longest, q.size());
    for (std::size_t i = 1; i <= 3; ++i) {
        Block block;
        block.reserve(kBulkBlock + longest);
        while (block.size() < kBulkBlock && !requested(*this)) {
            block.append(quotes[pick(Random, quotes.size())]);
        }
        if (block.size() > kBulkBlock) block.resize(kBulkBlock);
        QuoteBlock960000[i] = std::move(block);
        placed += static_cast<std::int64_t>(kBulkBlock);
        showProgress(*this, on, placed);
        if (requested(*this)) break;
    }
    if (requested(*this)) return;
    quotes.clear();
    quotes.shrink_to_fit();
    for (std::size_t i = 1; i <= 3; ++i)
        QuoteBlock96000[i] = mid(QuoteBlock960000[i], 0, kMediumBlock);
    for (std::size_t i = 1; i <= 3; ++i)
        QuoteBlock960[i] = mid(QuoteBlock960000[i], 0, kSmallBlock);
    for (std::size_t i = 1; i <= 3; ++i)
        QuoteBlock16[i] = mid(QuoteBlock960000[i], 0, kTinyBlock);
    progbarCurrent.Value = 0;
    on([&] { desktop().DoEvents(); });
}

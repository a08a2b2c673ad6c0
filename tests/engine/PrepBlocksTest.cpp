// The fill data sets: the random text file (written, tested, rewritten), the quotes file, the
// blocks built from them, the progress shown and the requests honoured on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

const std::string kDir = "/opt/quellix";
const std::string kRandom = kDir + "/QuellixRandom.sav";
const std::string kQuotes = kDir + "/QuellixQuotes.sav";
const std::string kCreating = "Creating a new random fill set - this will take a minute";
const std::string kQuotesMissing =
    "I'm sorry but the quotes file (QuellixQuotes.sav) is missing from Quellix's\r\n"
    " directory.  You will need to either reinstall Quellix or manually create another\r\n"
    " quotes file.  See Quellix's help file under Troubleshooting.";

// A random text file whose line k is made of one character only, so a block shows which lines
// went into it.
std::string uniformLines(int count, std::size_t length) {
    std::string file;
    for (int k = 0; k < count; ++k) {
        file.append(length, static_cast<char>('A' + k));
        file += "\r\n";
    }
    return file;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// True when the block is a run of the given pieces, the last one possibly cut.
bool madeOf(const Block& block, const std::vector<std::string>& pieces) {
    std::size_t pos = 0;
    while (pos < block.size()) {
        bool matched = false;
        for (const std::string& piece : pieces) {
            const std::size_t n = std::min(piece.size(), block.size() - pos);
            if (block.compare(pos, n, piece, 0, n) == 0) {
                pos += n;
                matched = true;
                break;
            }
        }
        if (!matched) return false;
    }
    return true;
}

class PrepBlocksTest : public testing::Test {
protected:
    PrepBlocksTest() : w(p, d) {
        d.attach(w);
        w.Random.Randomize(20010314);
        p.hostFiles[kQuotes] = "Alpha\r\nBeta\r\nend\r\nGamma\r\n";
    }

    std::vector<std::pair<BlockArray*, std::size_t>> allSets() {
        return {{&w.Blocks.RandomBlock960000, 960000}, {&w.Blocks.RandomBlock96000, 96000},
                {&w.Blocks.RandomBlock960, 960},       {&w.Blocks.RandomBlock16, 16},
                {&w.Blocks.QuoteBlock960000, 960000},  {&w.Blocks.QuoteBlock96000, 96000},
                {&w.Blocks.QuoteBlock960, 960},        {&w.Blocks.QuoteBlock16, 16}};
    }
    void expectRandomSetComplete() {
        for (std::size_t i = 1; i <= 3; ++i) {
            EXPECT_EQ(w.Blocks.RandomBlock960000[i].size(), 960000u);
            EXPECT_EQ(w.Blocks.RandomBlock96000[i].size(), 96000u);
            EXPECT_EQ(w.Blocks.RandomBlock960[i].size(), 960u);
            EXPECT_EQ(w.Blocks.RandomBlock16[i].size(), 16u);
        }
    }
    void setOldQuoteBlocks() {
        for (auto* set : {&w.Blocks.QuoteBlock960000, &w.Blocks.QuoteBlock96000,
                          &w.Blocks.QuoteBlock960, &w.Blocks.QuoteBlock16}) {
            for (std::size_t i = 1; i <= 3; ++i)
                (*set)[i] = "old";
        }
    }
    void expectOldQuoteBlocks() {
        for (auto* set : {&w.Blocks.QuoteBlock960000, &w.Blocks.QuoteBlock96000,
                          &w.Blocks.QuoteBlock960, &w.Blocks.QuoteBlock16}) {
            for (std::size_t i = 1; i <= 3; ++i)
                EXPECT_EQ((*set)[i], "old");
        }
    }
    bool sawStatus(const std::string& text) const {
        return std::find(d.statusLines.begin(), d.statusLines.end(), text) != d.statusLines.end();
    }

    FakePlatform p;
    FakeDesktop d;
    frmQuellix w;
};

TEST_F(PrepBlocksTest, MissingRandomFileIsWrittenWithTwentyOneLinesOfPrintableBytes) {
    w.PrepBlocks();
    EXPECT_TRUE(sawStatus(kCreating));
    ASSERT_EQ(p.hostFiles.count(kRandom), 1u);
    const std::string& file = p.hostFiles[kRandom];
    EXPECT_EQ(file.size(), 220542u);
    const auto lines = splitLines(file);
    ASSERT_EQ(lines.size(), 21u);
    for (const std::string& line : lines) {
        ASSERT_EQ(line.size(), 10500u);
        for (const char c : line) {
            const auto code = static_cast<unsigned char>(c);
            ASSERT_GE(code, 33);
            ASSERT_LE(code, 255);
        }
    }
    EXPECT_EQ(w.chkNewRndTxt.Value, 0);
    EXPECT_EQ(w.CaptionMode, 2);
    expectRandomSetComplete();
    EXPECT_TRUE(d.boxes.empty());
}

TEST_F(PrepBlocksTest, RandomCharactersCoverTheWholeRangeWithHalfWeightEnds) {
    w.PrepBlocks();
    std::vector<int> count(256, 0);
    for (const char c : p.hostFiles[kRandom])
        ++count[static_cast<unsigned char>(c)];
    // 220500 draws over 221 codes: about 998 each, 499 for the two ends.
    for (int code = 34; code <= 254; ++code) {
        EXPECT_GT(count[code], 800) << code;
        EXPECT_LT(count[code], 1200) << code;
    }
    EXPECT_GT(count[33], 350);
    EXPECT_LT(count[33], 650);
    EXPECT_GT(count[255], 350);
    EXPECT_LT(count[255], 650);
}

TEST_F(PrepBlocksTest, ValidFileIsReusedAndOtherRandomFilesAreLeftAlone) {
    const std::string valid = uniformLines(21, 10500);
    p.hostFiles[kRandom] = valid;
    w.PrepBlocks();
    EXPECT_EQ(p.hostFiles[kRandom], valid);
    EXPECT_FALSE(sawStatus(kCreating));
    expectRandomSetComplete();
}

TEST_F(PrepBlocksTest, DamagedRandomFilesAreRejectedAndWrittenAnew) {
    std::string shortSeventh = uniformLines(21, 10500);
    shortSeventh.erase(6 * 10502, 1);  // line 7 now holds 10499 characters
    const std::string cases[] = {
        uniformLines(20, 10500),  // the 20th line is the file's last
        shortSeventh,
        uniformLines(5, 10500),
        "",
    };
    for (const std::string& damaged : cases) {
        FakePlatform fp;
        FakeDesktop fd;
        frmQuellix fw(fp, fd);
        fd.attach(fw);
        fp.hostFiles[kQuotes] = "Alpha\r\nend\r\n";
        fp.hostFiles[kRandom] = damaged;
        fw.PrepBlocks();
        EXPECT_EQ(fp.hostFiles[kRandom].size(), 220542u);
        EXPECT_NE(fp.hostFiles[kRandom], damaged);
        EXPECT_EQ(fw.chkNewRndTxt.Value, 0);
        EXPECT_EQ(fw.Blocks.RandomBlock960000[3].size(), 960000u);
        EXPECT_TRUE(fd.boxes.empty());
        EXPECT_EQ(fp.errLog(), "");
    }
}

TEST_F(PrepBlocksTest, CheckedBoxRewritesEvenAValidFileAndDeletesOldCopies) {
    const std::string valid = uniformLines(21, 10500);
    p.hostFiles[kRandom] = valid;
    p.hostFiles[kDir + "/QuellixRandom-old.sav"] = "x";
    p.hostFiles[kDir + "/Other.sav"] = "keep";
    w.chkNewRndTxt.Value = 1;
    w.PrepBlocks();
    EXPECT_NE(p.hostFiles[kRandom], valid);
    EXPECT_EQ(p.hostFiles[kRandom].size(), 220542u);
    EXPECT_EQ(p.hostFiles.count(kDir + "/QuellixRandom-old.sav"), 0u);
    EXPECT_EQ(p.hostFiles[kDir + "/Other.sav"], "keep");
    EXPECT_EQ(w.chkNewRndTxt.Value, 0);
}

TEST_F(PrepBlocksTest, LongerLinesAreUsedWholeAndBlocksAreStillCutToSize) {
    p.hostFiles[kRandom] = uniformLines(21, 12000);
    w.PrepBlocks();
    for (std::size_t i = 1; i <= 3; ++i) {
        const Block& block = w.Blocks.RandomBlock960000[i];
        ASSERT_EQ(block.size(), 960000u);
        // Whole lines: every 12000-character piece is one line of the first twenty.
        for (std::size_t pos = 0; pos < block.size(); pos += 12000) {
            const char c = block[pos];
            ASSERT_GE(c, 'A');
            ASSERT_LT(c, 'A' + 20);  // the 21st line is never used
            const std::size_t n = std::min<std::size_t>(12000, block.size() - pos);
            const auto other = block.find_first_not_of(c, pos);
            ASSERT_TRUE(other == Block::npos || other >= pos + n) << pos;
        }
    }
}

TEST_F(PrepBlocksTest, CompleteBuildGivesNominalLengthsNestedBlocksAndProgressSteps) {
    w.PrepBlocks();
    for (auto [set, length] : allSets()) {
        for (std::size_t i = 1; i <= 3; ++i)
            EXPECT_EQ((*set)[i].size(), length);
    }
    for (std::size_t i = 1; i <= 3; ++i) {
        const Block& large = w.Blocks.RandomBlock960000[i];
        for (const Block* small : {&w.Blocks.RandomBlock96000[i], &w.Blocks.RandomBlock960[i],
                                   &w.Blocks.RandomBlock16[i]}) {
            // A piece of the large block that starts within its first 10001 characters.
            const auto at = large.find(*small);
            ASSERT_NE(at, Block::npos);
            EXPECT_LE(at, 10000u);
        }
        EXPECT_EQ(w.Blocks.QuoteBlock960000[i].compare(0, 96000, w.Blocks.QuoteBlock96000[i]), 0);
        EXPECT_EQ(w.Blocks.QuoteBlock960000[i].compare(0, 960, w.Blocks.QuoteBlock960[i]), 0);
        EXPECT_EQ(w.Blocks.QuoteBlock960000[i].compare(0, 16, w.Blocks.QuoteBlock16[i]), 0);
    }
    EXPECT_EQ(d.currentBar, (std::vector<int>{0, 16, 32, 48, 52, 68, 84, 100, 0}));
    EXPECT_TRUE(sawStatus("Preparing large-block random and quotes sets"));
    EXPECT_FALSE(w.StopRequested);
    EXPECT_EQ(w.ExitCode, ExitFinished);
}

TEST_F(PrepBlocksTest, RandomBlocksDrawFromAllTwentyLines) {
    p.hostFiles[kRandom] = uniformLines(21, 10500);
    w.PrepBlocks();
    std::vector<int> seen(21, 0);
    for (std::size_t i = 1; i <= 3; ++i) {
        for (std::size_t pos = 0; pos < 960000; pos += 10500) {
            ++seen[static_cast<std::size_t>(w.Blocks.RandomBlock960000[i][pos] - 'A')];
        }
    }
    EXPECT_EQ(seen[20], 0);
    for (int k = 0; k < 20; ++k)
        EXPECT_GT(seen[k], 0) << k;
}

TEST_F(PrepBlocksTest, QuotesUpToEndAreUsedAndLaterLinesIgnored) {
    w.PrepBlocks();
    for (std::size_t i = 1; i <= 3; ++i) {
        const Block& block = w.Blocks.QuoteBlock960000[i];
        ASSERT_EQ(block.size(), 960000u);
        EXPECT_TRUE(madeOf(block, {"Alpha", "Beta"}));
        EXPECT_EQ(block.find("Gamma"), Block::npos);
        EXPECT_EQ(block.find("end"), Block::npos);
        EXPECT_NE(block.find("AlphaAlpha"), Block::npos);
        EXPECT_NE(block.find("BetaBeta"), Block::npos);
    }
}

TEST_F(PrepBlocksTest, LastLineWithoutEndIsNeverAQuote) {
    for (const std::string quotes : {"Alpha\r\nBeta\r\n", "Alpha\r\nBeta", "Alpha\r\n\r\nBeta"}) {
        FakePlatform fp;
        FakeDesktop fd;
        frmQuellix fw(fp, fd);
        fd.attach(fw);
        fp.hostFiles[kQuotes] = quotes;
        fw.PrepBlocks();
        EXPECT_EQ(fw.Blocks.QuoteBlock960000[1].size(), 960000u);
        EXPECT_EQ(fw.Blocks.QuoteBlock960000[1].find("Beta"), Block::npos);
        EXPECT_TRUE(madeOf(fw.Blocks.QuoteBlock960000[2], {"Alpha"}));
    }
}

TEST_F(PrepBlocksTest, MissingQuotesFileStopsTheRunWithItsMessageOnce) {
    p.hostFiles.erase(kQuotes);
    setOldQuoteBlocks();
    w.PrepBlocks();
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text, kQuotesMissing);
    EXPECT_EQ(d.boxes[0].style, vbOKOnly);
    EXPECT_EQ(d.boxes[0].title, "Quellix");
    EXPECT_TRUE(w.StopRequested);
    EXPECT_EQ(w.ExitCode, ExitStopped);
    expectRandomSetComplete();
    expectOldQuoteBlocks();
}

TEST_F(PrepBlocksTest, QuotesFileWithoutUsableQuoteCountsAsMissing) {
    for (const std::string quotes :
         {"end\r\n", "\r\n\r\n\r\nend\r\n", "", "only line", "\r\n\r\n"}) {
        FakePlatform fp;
        FakeDesktop fd;
        frmQuellix fw(fp, fd);
        fd.attach(fw);
        fp.hostFiles[kQuotes] = quotes;
        fw.PrepBlocks();  // must come back: no quote can ever fill a block
        ASSERT_EQ(fd.boxes.size(), 1u);
        EXPECT_EQ(fd.boxes[0].text, kQuotesMissing);
        EXPECT_TRUE(fw.StopRequested);
        EXPECT_EQ(fw.ExitCode, ExitStopped);
    }
}

TEST_F(PrepBlocksTest, UnreadableQuotesFileCountsAsMissingAndIsLogged) {
    p.unreadableHostFiles.insert(kQuotes);
    w.PrepBlocks();
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text, kQuotesMissing);
    EXPECT_NE(p.errLog().find("#70 (Permission denied) occurred in fQL PrepBlocks"),
              std::string::npos);
}

TEST_F(PrepBlocksTest, ReadOnlyDirectoryStopsTheRunAfterOneAttemptWithoutBlocks) {
    p.readOnlyHostDirs.insert(kDir);
    setOldQuoteBlocks();
    w.PrepBlocks();
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_NE(d.boxes[0].text.find(kRandom), std::string::npos);
    EXPECT_NE(d.boxes[0].text.find("could not be written"), std::string::npos);
    EXPECT_NE(d.boxes[0].text.find("Permission denied"), std::string::npos);
    EXPECT_EQ(d.boxes[0].title, "Quellix");
    EXPECT_TRUE(w.StopRequested);
    EXPECT_EQ(w.ExitCode, ExitStopped);
    EXPECT_EQ(w.chkNewRndTxt.Value, 1);  // the new text is still wanted
    EXPECT_EQ(p.hostFiles.count(kRandom), 0u);
    for (std::size_t i = 1; i <= 3; ++i)
        EXPECT_TRUE(w.Blocks.RandomBlock960000[i].empty());
    expectOldQuoteBlocks();
}

TEST_F(PrepBlocksTest, ReadOnlyDirectoryWithAnOldFileStillReportsTheFailedRewrite) {
    p.hostFiles[kRandom] = uniformLines(21, 10500);
    p.readOnlyHostDirs.insert(kDir);
    w.chkNewRndTxt.Value = 1;
    w.PrepBlocks();
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_NE(d.boxes[0].text.find(kRandom), std::string::npos);
    EXPECT_TRUE(w.StopRequested);
    EXPECT_EQ(p.hostFiles[kRandom], uniformLines(21, 10500));
}

TEST_F(PrepBlocksTest, FileThatCannotBeReadBackIsRewrittenOnceThenReported) {
    p.hostFiles[kRandom] = uniformLines(21, 10500);
    p.unreadableHostFiles.insert(kRandom);
    w.PrepBlocks();
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_NE(d.boxes[0].text.find(kRandom + ") could not be read back"), std::string::npos);
    EXPECT_NE(d.boxes[0].text.find("Permission denied"), std::string::npos);
    EXPECT_TRUE(w.StopRequested);
    EXPECT_EQ(w.ExitCode, ExitStopped);
    EXPECT_EQ(std::count(d.statusLines.begin(), d.statusLines.end(), kCreating), 1);
    for (std::size_t i = 1; i <= 3; ++i)
        EXPECT_TRUE(w.Blocks.RandomBlock960000[i].empty());
    // Two failed opens (before and after the rewrite), each logged under the routine's label.
    const auto log = p.errLogLines();
    ASSERT_EQ(log.size(), 2u);
    for (const auto& line : log) {
        EXPECT_NE(line.find("#70 (Permission denied) occurred in fQL PrepBlocks"),
                  std::string::npos);
    }
}

TEST_F(PrepBlocksTest, StopWhileWritingLeavesAFileThatIsRewrittenNextRun) {
    d.at(1, [](frmQuellix& win) { win.cmdStop_Click(); });
    setOldQuoteBlocks();
    w.PrepBlocks();
    // Every line got one character after the request.
    EXPECT_EQ(p.hostFiles[kRandom].size(), 21u * 3u);
    EXPECT_EQ(w.chkNewRndTxt.Value, 0);
    EXPECT_TRUE(w.Blocks.RandomBlock960000[1].empty());
    expectOldQuoteBlocks();
    EXPECT_TRUE(d.boxes.empty());

    w.StopRequested = false;
    w.PrepBlocks();
    EXPECT_EQ(p.hostFiles[kRandom].size(), 220542u);
    expectRandomSetComplete();
}

TEST_F(PrepBlocksTest, StopAfterTheFirstLargeBlockEndsBeforeTheNextOne) {
    p.hostFiles[kRandom] = uniformLines(21, 10500);
    setOldQuoteBlocks();
    // DoEvents 1: the status line; 2: after the first large random block.
    d.at(2, [](frmQuellix& win) { win.cmdStop_Click(); });
    w.PrepBlocks();
    EXPECT_EQ(w.Blocks.RandomBlock960000[1].size(), 960000u);
    EXPECT_TRUE(w.Blocks.RandomBlock960000[2].empty());
    EXPECT_TRUE(w.Blocks.RandomBlock960000[3].empty());
    EXPECT_TRUE(w.Blocks.RandomBlock96000[1].empty());
    expectOldQuoteBlocks();
    EXPECT_TRUE(d.boxes.empty());
}

TEST_F(PrepBlocksTest, ExitAfterTheFirstQuoteBlockLeavesTheSmallQuoteBlocks) {
    p.hostFiles[kRandom] = uniformLines(21, 10500);
    setOldQuoteBlocks();
    // DoEvents 1: status; 2-4: large random blocks; 5: small random blocks; 6: first quote block.
    d.at(6, [](frmQuellix& win) { win.ExitRequested = true; });
    w.PrepBlocks();
    expectRandomSetComplete();
    EXPECT_EQ(w.Blocks.QuoteBlock960000[1].size(), 960000u);
    EXPECT_EQ(w.Blocks.QuoteBlock960000[2], "old");
    EXPECT_EQ(w.Blocks.QuoteBlock96000[1], "old");
    EXPECT_EQ(w.Blocks.QuoteBlock16[3], "old");
}

}  // namespace

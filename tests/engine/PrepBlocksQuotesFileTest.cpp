// The quotes file that ships with the program: its format, and full quote blocks built from it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

std::string shippedQuotes() {
    std::ifstream in(std::string(QUELLIX_SOURCE_DIR) + "/resources/QuellixQuotes.sav",
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ShippedQuotesFile, HoldsAtLeast200QuotesOfSingleByteTextEndingWithEnd) {
    const std::string file = shippedQuotes();
    ASSERT_FALSE(file.empty());
    for (const char c : file)
        ASSERT_LT(static_cast<unsigned char>(c), 128u);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < file.size()) {
        const auto end = file.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        lines.push_back(file.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "end");
    std::set<std::string> distinct;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& q = lines[i];
        EXPECT_FALSE(q.empty()) << "line " << i + 1;
        EXPECT_EQ(q.find_first_of("\r\n"), std::string::npos) << "line " << i + 1;
        EXPECT_NE(q, "end");
        distinct.insert(q);
    }
    EXPECT_GE(lines.size() - 1, 200u);
    EXPECT_EQ(distinct.size(), lines.size() - 1);
}

TEST(ShippedQuotesFile, FillsTheQuoteBlocks) {
    FakePlatform p;
    FakeDesktop d;
    frmQuellix w(p, d);
    d.attach(w);
    p.hostFiles[p.programDir + "/QuellixQuotes.sav"] = shippedQuotes();
    w.PrepBlocks();
    EXPECT_TRUE(d.boxes.empty());
    EXPECT_FALSE(w.StopRequested);
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(w.Blocks.QuoteBlock960000[i].size(), 960000u);
        EXPECT_EQ(w.Blocks.QuoteBlock16[i].size(), 16u);
    }
}

}  // namespace

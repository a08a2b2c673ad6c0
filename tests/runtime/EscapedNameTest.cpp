// Names shown as data: what `ls -b` escapes is escaped, letters of any script are not, and no
// two names escape alike.
#include <gtest/gtest.h>

#include "runtime/EscapedName.h"

namespace {

TEST(EscapedName, ControlCharactersAndBytesThatAreNoTextBecomeEscapes) {
    struct Row {
        std::string name, shown;
    };
    const Row rows[] = {
        {"/srv/my disk", "/srv/my disk"},
        {"/mnt/fake\nZZ /srv", "/mnt/fake\\nZZ /srv"},
        {"tab\there\r", "tab\\there\\r"},
        {"\x1b[2Jclear", "\\033[2Jclear"},
        {"del\x7f", "del\\177"},
        {"back\\slash", "back\\\\slash"},
        {"\xc2\x9b"
         "CSI",
         "\\302\\233CSI"},                                         // a C1 control in UTF-8
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},  // letters and signs stay
        {"bad\xff\xc3", "bad\\377\\303"},                          // no UTF-8
        {"over\xc0\xaf", "over\\300\\257"},                        // an overlong "/"
    };
    for (const Row& row : rows)
        EXPECT_EQ(EscapedName(row.name), row.shown) << row.shown;
    EXPECT_NE(EscapedName("a\nb"), EscapedName("a\\nb"));
}

}  // namespace

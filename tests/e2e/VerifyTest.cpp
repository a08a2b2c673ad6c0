// What a default run reads back on real file systems: as root on healthy ext4 and xfs images the
// last pass reads back as written (nearly all of its free space); on btrfs, and for an ordinary
// user, the drive is "not verified" with the reason, and that never changes the status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "tests/support/LoopImage.h"
#include "tests/support/ProgramCopy.h"
#include "ui/Desktop.h"

namespace {

constexpr uid_t kNobody = 65534;

struct Case {
    const char* fsType;
    std::uint64_t sizeMiB;
    bool asRoot;
    int status;
    const char* notVerified;  // nullptr: verified
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.fsType << (c.asRoot ? " as root" : " as an ordinary user");
}

class Verify : public testing::TestWithParam<Case> {};

TEST_P(Verify, TheLastPassReadsBackAsWrittenOrTheDriveSaysWhyNot) {
    const Case& c = GetParam();
    if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    if (LoopImage::run(std::string("command -v mkfs.") + c.fsType + " >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "mkfs." << c.fsType << " is not installed";
    }
    LoopImage disk({.fsType = c.fsType, .sizeMiB = c.sizeMiB});
    ASSERT_TRUE(disk.ok()) << disk.error();
    std::optional<uid_t> user;
    if (!c.asRoot) {
        user = kNobody;
        ASSERT_EQ(::chmod(disk.workDir().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(disk.mountPoint().c_str(), 0777), 0);
    }
    ProgramCopy program(disk.workDir(), user);
    ASSERT_TRUE(disk.verified());
    const ProgramResult r = program.run("C: RAND=1 RUN", disk.mountPoint(), user);
    EXPECT_EQ(r.status, c.status) << r.output;

    const auto lines = program.reportLines();
    ASSERT_FALSE(lines.empty());
    const nlohmann::json drive = nlohmann::json::parse(lines.back())["drives"][0];
    const nlohmann::json& last = drive["passes"][1];
    if (c.notVerified == nullptr) {
        EXPECT_NE(r.output.find(", complete, verified "), std::string::npos) << r.output;
        EXPECT_EQ(drive["verification"], "verified");
        EXPECT_EQ(drive["not_overwritten_bytes"], 0);
        EXPECT_GE(last["verified_bytes"].get<double>(), 0.99 * last["free_at_start"].get<double>())
            << last;
        EXPECT_EQ(last["not_overwritten_bytes"], 0);
        EXPECT_GT(last["covered_bytes"].get<std::int64_t>(), 0) << last;
    } else {
        EXPECT_NE(r.output.find(std::string("not verified (") + c.notVerified + ")"),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(drive["verification"], "not verified");
        EXPECT_EQ(drive["verification_reason"], c.notVerified);
        EXPECT_TRUE(last["verified_bytes"].is_null()) << last;
    }
    EXPECT_EQ(disk.fillFiles(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Drives, Verify,
    testing::Values(Case{"ext4", 128, true, ExitFinished, nullptr},
                    Case{"xfs", 320, true, ExitFinished, nullptr},
                    Case{"btrfs", 256, true, ExitFinished,
                         "btrfs places data at addresses of its own, not at device offsets"},
                    Case{"xfs", 320, false, ExitFinished, "reading the disk back needs root"},
                    // The blocks ext4 keeps for root make the drive incomplete, not the read-back.
                    Case{"ext4", 128, false, ExitIncomplete, "reading the disk back needs root"}),
    [](const testing::TestParamInfo<Case>& c) {
        return std::string(c.param.fsType) + (c.param.asRoot ? "AsRoot" : "AsAUser");
    });

}  // namespace

// The names stage on Linux: what the ext superblock, jbd2 and xfs's log head say (on images
// made by mkfs and on sample texts), and the stage's directory on loop-mounted file systems: it
// takes the inode slots deleted files left, refuses what someone planted under its name, and
// leaves nothing behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/FillGeometry.h"
#include "platform/linux/ExtSuperblock.h"
#include "platform/linux/NamesFacts.h"
#include "platform/linux/NamesFiles.h"
#include "platform/linux/OwnMark.h"
#include "platform/linux/UniqueFd.h"
#include "runtime/RuntimeError.h"
#include "tests/platform/ImageDrive.h"
#include "tests/support/RaisedNumber.h"

namespace fs = std::filesystem;

namespace {

std::string readBytes(const std::string& path, std::uint64_t offset, std::size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(length, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// What the superblock of an image made by mkfs.ext4 tells; mkfs needs no root on a plain file.
TEST(ExtSuperblock, TellsTheJournalTheInodesAndWhetherUnusedSlotsAreRecorded) {
    if (!haveTool("mkfs.ext4")) GTEST_SKIP() << "mkfs.ext4 is not installed";
    struct Row {
        const char* options;
        std::uint64_t journalBytes;
        std::uint32_t inodeSize;
        bool recordsUnused;
    };
    const Row rows[] = {
        {"-J size=8 -I 128", 8 << 20, 128, true},
        {"-O ^has_journal,^metadata_csum,^uninit_bg", 0, 256, false},
    };
    const std::string dir = fs::temp_directory_path() / "quellix-names-sb-XXXXXX";
    std::string made = dir;
    ASSERT_NE(::mkdtemp(made.data()), nullptr);
    const std::string image = made + "/disk.img";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        fs::remove(image);
        ASSERT_EQ(LoopImage::run("truncate -s 384M " + image + " && mkfs.ext4 -q -F -b 4096 " +
                                 row.options + " " + image + " >/dev/null 2>&1"),
                  0);
        const auto sb = parseExtSuperblock(readBytes(image, 1024, 1024));
        ASSERT_TRUE(sb);
        EXPECT_EQ(sb->journalBytes, row.journalBytes);
        EXPECT_EQ(sb->hasJournal, row.journalBytes > 0);
        EXPECT_EQ(sb->inodeSize, row.inodeSize);
        EXPECT_EQ(sb->blockSize, 4096u);
        EXPECT_EQ(sb->recordsUnused, row.recordsUnused);
        // A new file system has no slot of a deleted file.
        const std::uint64_t groups =
            (sb->blocksCount + sb->blocksPerGroup - 1) / sb->blocksPerGroup;
        const std::string table = readBytes(image, (sb->firstDataBlock + 1ULL) * sb->blockSize,
                                            groups * sb->descriptorSize);
        const auto slots = extFreedInodeSlots(*sb, table);
        EXPECT_EQ(slots.has_value(), row.recordsUnused);
        if (slots) {
            EXPECT_EQ(*slots, 0);
        }
    }
    EXPECT_FALSE(parseExtSuperblock(std::string(1024, '\0')));
    fs::remove_all(made);
}

TEST(NamesFacts, SampleTextsGiveTheJournalBoundAndTheLogHeadsProgress) {
    // jbd2 lets a transaction take a third of the journal (a quarter on older kernels): four
    // times its size and a little more covers the journal either way.
    EXPECT_EQ(jbd2JournalBlocksAtMost("0 transactions (0 requested), each up to 2730 blocks\n"),
              4u * 2731);
    EXPECT_FALSE(jbd2JournalBlocksAtMost("0 transactions (0 requested)\n"));
    EXPECT_FALSE(jbd2JournalBlocksAtMost("each up to x blocks"));

    struct Row {
        const char* from;
        const char* to;
        std::uint64_t blocks;  // in a log of 1,000 blocks
    } rows[] = {
        {"1:2", "1:2", 0},        {"1:2", "1:900", 898}, {"1:900", "2:100", 200},  // wrapped
        {"1:900", "3:100", 1200},  // wrapped twice over
        {"2:5", "1:5", 0},         // never backwards
    };
    for (const Row& row : rows) {
        const auto from = parseLogHead(row.from);
        const auto to = parseLogHead(row.to);
        ASSERT_TRUE(from && to) << row.from << " " << row.to;
        EXPECT_EQ(logHeadProgress(*from, *to, 1000), row.blocks) << row.from << " " << row.to;
    }
    EXPECT_FALSE(parseLogHead("1:"));
    EXPECT_FALSE(parseLogHead("cycle 1"));
}

class NamesImage : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    }
    void mount(const LoopImage::Options& options) {
        drive_ = std::make_unique<ImageDrive>(options);
        ASSERT_TRUE(drive_->ready()) << drive_->error();
    }
    LinuxPlatform& p() { return drive_->platform(); }
    std::string at(const std::string& name) const {
        return drive_->image().mountPoint() + "/" + name;
    }
    std::unique_ptr<ImageDrive> drive_;
};

// The slots deleted files left are counted from the group descriptors, and the stage's files
// take every one of them, also those of directories in the other block groups; closing the
// directory leaves nothing, not even an inode.
TEST_F(NamesImage, TheStagesFilesTakeTheSlotsDeletedFilesLeftAndLeaveNothing) {
    mount({"ext4", 384, 512, "-O inline_data"});
    const NamesFacts fresh = p().namesFacts("C:\\");
    EXPECT_TRUE(fresh.supported);
    EXPECT_EQ(fresh.rewriteBytes, 16u << 20);  // mke2fs's journal for 384 MiB
    EXPECT_EQ(fresh.caveat, "");
    EXPECT_EQ(fresh.freedInodeSlots, 0);
    // Top directories are spread over the groups, their files stay in the first.
    for (int k = 0; k < 6; ++k) {
        const std::string dir = "gone" + std::to_string(k);
        fs::create_directories(at(dir + "/sub"));
        for (int i = 0; i < 50; ++i)
            std::ofstream(at(dir + "/tiny" + std::to_string(i))) << "a tiny file's content";
    }
    LoopImage::run("sync");
    for (int k = 0; k < 6; ++k)
        fs::remove_all(at("gone" + std::to_string(k)));
    LoopImage::run("sync");
    EXPECT_EQ(p().namesFacts("C:\\").freedInodeSlots, 312);  // the files and directories
    struct statvfs before {};
    ASSERT_EQ(::statvfs(drive_->image().mountPoint().c_str(), &before), 0);

    const NamesHandle dir = p().openNamesDirectory("C:\\");
    EXPECT_TRUE(p().namesLeftover("C:\\"));
    EXPECT_EQ(p().addNamesFiles(dir, 400), 400);
    EXPECT_EQ(p().namesFacts("C:\\").freedInodeSlots, 0);
    // Their names are as long as the file system takes.
    for (const auto& entry : fs::directory_iterator(at(kNamesDirectory)))
        EXPECT_EQ(entry.path().filename().string().size(), 255u);
    struct stat st {};
    EXPECT_EQ(::stat(at(kNamesDirectory).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    // Each commit counts at least the inode table blocks the changed files lie in.
    const std::uint64_t made = p().syncNames(dir);
    EXPECT_GE(made, 400u / 16 * 4096);
    p().touchNamesFiles(dir, 0, 400);
    EXPECT_GE(p().syncNames(dir), made + 400u / 16 * 4096);
    p().closeNamesDirectory(dir);

    EXPECT_FALSE(fs::exists(at(kNamesDirectory)));
    EXPECT_FALSE(p().namesLeftover("C:\\"));
    struct statvfs after {};
    ASSERT_EQ(::statvfs(drive_->image().mountPoint().c_str(), &after), 0);
    EXPECT_EQ(after.f_ffree, before.f_ffree);
    EXPECT_EQ(after.f_bfree, before.f_bfree);
}

// Under the directory's name only a directory the program made and marked is ever emptied and
// removed, a leftover before a stage as at start-up; anything else is named and left alone: a
// directory of root's renamed to the name too (owner == root proves nothing for root).
TEST_F(NamesImage, OnlyADirectoryOfItsOwnIsRemovedAndAnythingPlantedIsNamed) {
    mount({"ext4", 32, 512});
    const std::string name = at(kNamesDirectory);
    const std::string victim = at("victim");
    struct Row {
        const char* plant;    // $N: the directory's name, $V: a directory of someone's
        const char* refusal;  // nullptr: it is the stage's own and goes
    };
    const Row rows[] = {
        {"mkdir -m 700 $N && touch $N/f1 $N/f2 && ln -s /etc $N/link",
         "is a directory that carries no mark of this program's"},
        {"ln -s $V $N", "is a symbolic link"},
        {"echo x > $N", "is a regular file"},
        {"mkdir $N && touch $N/theirs && chown -R 65534:65534 $N",
         "is a directory of another user (owner 65534)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.plant);
        ASSERT_EQ(LoopImage::run("N=" + name + " V=" + victim +
                                 " && mkdir $V && touch $V/keep && " + row.plant),
                  0);
        for (const bool atStart : {true, false}) {
            int raised = 0;
            std::string words;
            try {
                if (atStart) {
                    p().removeNamesLeftover("C:\\");
                } else {
                    p().closeNamesDirectory(p().openNamesDirectory("C:\\"));
                }
            } catch (const RuntimeError& e) {
                raised = e.number();
                words = e.systemText();
            }
            if (row.refusal == nullptr) {
                EXPECT_EQ(raised, 0) << words;
                EXPECT_FALSE(fs::exists(fs::symlink_status(name)));
            } else {
                EXPECT_EQ(raised, Err::FileAlreadyExists);
                EXPECT_EQ(words.find(std::string(kNamesDirectory) + " in the top directory " +
                                     row.refusal),
                          0u)
                    << words;
                EXPECT_TRUE(fs::exists(fs::symlink_status(name)));
                if (fs::is_directory(fs::symlink_status(name))) {
                    EXPECT_TRUE(fs::exists(name + "/theirs") || fs::exists(name + "/f1"));
                }
            }
        }
        EXPECT_TRUE(fs::exists(victim + "/keep"));
        EXPECT_TRUE(fs::exists("/etc/passwd"));
        fs::remove_all(name);
        fs::remove_all(victim);
    }
}

// A superblock is what its maker wrote: one built to claim a journal of 2^31 blocks mounts all
// the same, and the stage believes no more than the file system can hold.
TEST_F(NamesImage, AJournalLargerThanTheFileSystemIsNotBelieved) {
    mount({"ext4", 64, 512});
    LoopImage& image = drive_->image();
    // Beyond the file system only (1 GiB), then beyond what jbd2 takes too (8 TiB more).
    for (const char* claim : {"jnl_blocks[16] 0x40000000", "jnl_blocks[15] 0x800"}) {
        SCOPED_TRACE(claim);
        image.unmount();
        ASSERT_EQ(LoopImage::run("debugfs -w -R 'ssv " + std::string(claim) + "' " +
                                 image.imagePath() + " >/dev/null 2>&1"),
                  0);
        ASSERT_TRUE(image.remount()) << image.error();
        p().driveList();  // a new mount: the drive table is read anew, as at a start
        const NamesFacts facts = p().namesFacts("C:\\");
        EXPECT_LE(facts.rewriteBytes, 64u << 20);
        EXPECT_GT(facts.rewriteBytes, 0u);
        EXPECT_NE(facts.caveat.find("not believed"), std::string::npos) << facts.caveat;
        EXPECT_GT(facts.budgetBytes, 64u << 20);
        EXPECT_LE(facts.budgetBytes, kNamesBudgetPerByte * (64u << 20));
    }
    // On a drive of 48 GiB, 45 GiB of journal would fit, but jbd2 takes no more than 10,240,000
    // blocks (a sparse image: nothing of it is written).
    mount({"ext4", 48 << 10, 512});
    drive_->image().unmount();
    ASSERT_EQ(LoopImage::run("debugfs -w -R 'ssv jnl_blocks[15] 0xB' " +
                             drive_->image().imagePath() + " >/dev/null 2>&1"),
              0);
    ASSERT_TRUE(drive_->image().remount()) << drive_->image().error();
    p().driveList();
    const NamesFacts big = p().namesFacts("C:\\");
    EXPECT_LE(big.rewriteBytes, 10240000ULL * 4096);
    EXPECT_NE(big.caveat.find("not believed"), std::string::npos) << big.caveat;
}

// A stage cut short (a kill) leaves its directory marked: the next start proves it its own and
// removes the stage's names in it, nothing else; a mark with another token proves nothing.
TEST_F(NamesImage, ALeftoverIsProvenByItsMarkAndOnlyTheStagesNamesInItGo) {
    mount({"ext4", 32, 512});
    const std::string name = at(kNamesDirectory);
    {
        LinuxPlatform::Options o;
        o.drives = drive_->pinned();
        LinuxPlatform killed(o);
        EXPECT_EQ(killed.addNamesFiles(killed.openNamesDirectory("C:\\"), 40), 40);
    }  // never closed
    EXPECT_TRUE(p().namesLeftover("C:\\"));
    std::ofstream(name + "/keep.conf") << "not the stage's";
    EXPECT_EQ(raisedNumber([&] { p().removeNamesLeftover("C:\\"); }), Err::FileAlreadyExists);
    EXPECT_EQ(std::distance(fs::directory_iterator(name), fs::directory_iterator()), 1);
    fs::remove(name + "/keep.conf");
    p().removeNamesLeftover("C:\\");
    EXPECT_FALSE(fs::exists(name));

    // A directory of another user's that carries this program's token as a "user." mark.
    fs::create_directory(name);
    const std::string token = ownMarkToken(p().stateDirectory());
    ASSERT_EQ(token.size(), 32u);
    ASSERT_EQ(::setxattr(name.c_str(), "user.quellix.own", token.data(), token.size(), 0), 0);
    ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(p().namesLeftover("C:\\"));
    fs::remove(name);

    // A directory of root's whose mark holds another token.
    fs::create_directory(name);
    std::ofstream(name + "/" + std::string(64, 'a')) << "root's";
    const std::string forged(32, '0');
    ASSERT_EQ(::setxattr(name.c_str(), "trusted.quellix.own", forged.data(), forged.size(), 0), 0);
    EXPECT_FALSE(p().namesLeftover("C:\\"));
    EXPECT_EQ(raisedNumber([&] { p().removeNamesLeftover("C:\\"); }), Err::FileAlreadyExists);
    EXPECT_TRUE(fs::exists(name + "/" + std::string(64, 'a')));

    // Without birth times the directory cannot be proven new once opened: it is not marked, and
    // a leftover is named, never emptied.
    mount({"ext4", 32, 512, "-I 128"});
    {
        LinuxPlatform::Options o;
        o.drives = drive_->pinned();
        LinuxPlatform killed(o);
        EXPECT_EQ(killed.addNamesFiles(killed.openNamesDirectory("C:\\"), 10), 10);
    }
    EXPECT_FALSE(p().namesLeftover("C:\\"));
    EXPECT_EQ(raisedNumber([&] { p().removeNamesLeftover("C:\\"); }), Err::FileAlreadyExists);
    EXPECT_EQ(std::distance(fs::directory_iterator(at(kNamesDirectory)), fs::directory_iterator()),
              10);
}

// A user who may write the top directory exchanges the stage's directory for one of root's
// (renameat2 RENAME_EXCHANGE): right after it was made, the stage finds it is not its new one and
// does not run; right before it is removed, the stage removes only its own names and leaves
// whatever is under the name. The victims keep every file.
TEST_F(NamesImage, ADirectorySwappedUnderTheStagesNameIsNeverWorkedInNorRemoved) {
    mount({"ext4", 32, 512});
    const std::string full = at("full"), empty = at("empty");
    fs::create_directory(full);
    fs::create_directory(empty);
    std::ofstream(full + "/secret.conf") << "root's";
    // Born a few clock ticks before the stage's directory.
    ::usleep(50000);
    const NamesSurvey survey{};
    const std::string token(32, 'f');
    const UniqueFd root(::open(drive_->image().mountPoint().c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(root);
    struct Row {
        const char* victim;
        bool atClose;  // the exchange happens before the directory is removed, not once made
    };
    // "fresh": made in the very moment, where the file system tells no birth time.
    for (const Row row : {Row{"full", false}, Row{"empty", false}, Row{"fresh", false},
                          Row{"full", true}, Row{"empty", true}}) {
        SCOPED_TRACE(std::string(row.victim) + (row.atClose ? " at close" : " once made"));
        int calls = 0;
        NamesFiles names([&](int rootFd) {
            if (++calls == (row.atClose ? 2 : 1)) {
                if (std::string(row.victim) == "fresh") {
                    fs::create_directory(at("fresh"));
                    std::ofstream(at("fresh/secret.conf")) << "root's";
                }
                ASSERT_EQ(::renameat2(rootFd, kNamesDirectory, rootFd, row.victim, RENAME_EXCHANGE),
                          0);
            }
        });
        int raised = 0;
        try {
            const NamesHandle dir = names.open(root.get(), "/mnt", survey, std::nullopt, token);
            EXPECT_EQ(names.add(dir, 20), 20);
            names.close(dir);
        } catch (const RuntimeError& e) {
            raised = e.number();
        }
        EXPECT_EQ(raised, Err::FileAlreadyExists);
        // The victim, now under the stage's name, as it was; the stage's own directory, empty,
        // under the victim's.
        EXPECT_TRUE(fs::exists(at(kNamesDirectory) + "/secret.conf") || row.victim[0] == 'e');
        EXPECT_TRUE(fs::is_empty(at(row.victim)));
        ASSERT_TRUE(fs::is_directory(at(kNamesDirectory))) << "the victim was removed";
        fs::remove(at(row.victim));
        fs::rename(at(kNamesDirectory), at(row.victim));
        if (std::string(row.victim) == "fresh") {
            EXPECT_TRUE(fs::exists(at("fresh/secret.conf")));
            // Never taken for the stage's: it carries no mark that would let a start empty it.
            EXPECT_LT(::getxattr(at("fresh").c_str(), "trusted.quellix.own", nullptr, 0), 0);
            fs::remove_all(at("fresh"));
        }
    }
    EXPECT_TRUE(fs::exists(full + "/secret.conf"));
    EXPECT_TRUE(fs::is_empty(empty));
}

}  // namespace

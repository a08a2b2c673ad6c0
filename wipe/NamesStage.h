// The names stage of one drive, after its last pass: what deleted files leave where no fill file
// reaches (copies of directory blocks in the journal or log, tiny files and names in freed
// inode slots, freed metadata nodes) is overwritten by the file system itself. In a directory of
// its own in the drive's root, the stage makes files with long random names (they take the
// freed inode slots) and changes their times, committing each round, until the file system has
// rewritten as many bytes of its journal, log or free metadata as there are; then it removes
// them all again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "log/ErrorLog.h"
#include "wipe/DriveFill.h"
#include "wipe/RunAccount.h"

class NamesStage {
public:
    // How many files the stage makes: enough that the rounds rewrite their bytes in about
    // kRounds rounds, at least kMinFiles, at most kMaxFiles (and never more than the file
    // system has room for), and one for every inode slot deleted files left, and a few more.
    static constexpr std::int64_t kRounds = 16;
    static constexpr std::int64_t kMinFiles = 1000;
    static constexpr std::int64_t kMaxFiles = 1 << 20;
    static constexpr std::int64_t kSlotMargin = 64;
    // Files made, or touched, between two looks at the stop request.
    static constexpr std::int64_t kBatch = 2048;

    NamesStage(FillContext& run, const std::string& root, NamesAccount& account);
    NamesStage(const NamesStage&) = delete;
    NamesStage& operator=(const NamesStage&) = delete;

    // Runs the stage (or notes why it does not run) and writes its account.
    void Run();

    // The files to make for these facts.
    static std::int64_t FilesWanted(const NamesFacts& facts);

private:
    bool stopped() const;
    // The work between the directory's making and its removal; returns false on a stop.
    bool work(NamesHandle dir, const NamesFacts& facts, std::vector<std::string>& shortOf);

    FillContext& run_;
    const std::string root_;
    NamesAccount& account_;
    std::string failure_;  // the first error's words
    ErrorHandler on_;
};

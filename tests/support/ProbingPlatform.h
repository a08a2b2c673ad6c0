// The fake platform, also noting how many fill writes had been made at each probe, so that a
// test can tell the stages of a pass apart (every stage starts with a probe); and fill blocks of
// full length, so that a fill can run without its preparation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "wipe/FillSets.h"

class ProbingPlatform : public FakePlatform {
public:
    bool diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) override {
        writesAtProbe.push_back(writes.size());
        return FakePlatform::diskFreeSpaceEx(root, totalFreeBytes);
    }
    std::vector<std::size_t> writesAtProbe;

    // Fill writes of the given size to the given file ("C:\random01.qlk").
    int writesTo(const std::string& path, std::size_t size) const {
        int n = 0;
        for (const auto& write : writes) {
            if (write.path == path && write.size == size) ++n;
        }
        return n;
    }

    // The writes of stages A to E of a pass whose first probe (the one at the start of the pass)
    // was probe number passProbe, counting from 0. Every stage starts with a probe, and the pass
    // probes once more after its last stage.
    std::array<std::size_t, 5> stageWrites(std::size_t passProbe) const {
        std::array<std::size_t, 5> n{};
        const auto& at = writesAtProbe;
        for (std::size_t s = 0; s < 5; ++s) {
            const std::size_t end =
                passProbe + s + 1 < at.size() ? at[passProbe + s + 1] : writes.size();
            n[s] = end - at.at(passProbe + s);
        }
        return n;
    }

    // Whether a fill file of that path was ever created.
    bool created(const std::string& path) const {
        for (const auto& [handle, fill] : fills) {
            if (fill.path == path) return true;
        }
        return false;
    }
};

// Both fill sets, every element of full length and of its own byte, so that a write can be
// traced to its block by its data pointer.
inline void FillTestBlocks(FillSets& sets) {
    auto set = [](BlockArray& a, std::size_t size, char first) {
        for (std::size_t k = 1; k <= 3; ++k) {
            a[k] = Block(size, static_cast<char>(first + static_cast<int>(k)));
        }
    };
    set(sets.RandomBlock960000, 960000, 'a');
    set(sets.RandomBlock96000, 96000, 'd');
    set(sets.RandomBlock960, 960, 'g');
    set(sets.RandomBlock16, 16, 'j');
    set(sets.QuoteBlock960000, 960000, 'A');
    set(sets.QuoteBlock96000, 96000, 'D');
    set(sets.QuoteBlock960, 960, 'G');
    set(sets.QuoteBlock16, 16, 'J');
}

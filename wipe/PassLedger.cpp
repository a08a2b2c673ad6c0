// The ledger of a pass's writes, and the comparison of bytes read back with it.
#include "wipe/PassLedger.h"

#include <algorithm>
#include <cstring>

void PassLedger::wrote(FillHandle file, const char* block, std::size_t size) {
    File& f = files_[file];
    f.writes.push_back({f.length, block, size});
    f.length += size;
}

void PassLedger::placed(FillHandle file, std::optional<std::vector<FileExtent>> extents) {
    files_[file].extents = std::move(extents);
}

bool PassLedger::File::holds(std::uint64_t at, const char* bytes, std::size_t size) const {
    if (at + size > length) return false;
    // The write that holds the first byte, then the ones after it.
    auto w =
        std::upper_bound(writes.begin(), writes.end(), at,
                         [](std::uint64_t offset, const Write& x) { return offset < x.offset; });
    if (w == writes.begin()) return false;
    --w;
    while (size > 0) {
        const std::uint64_t within = at - w->offset;
        const std::size_t n = std::min<std::size_t>(size, w->size - within);
        if (std::memcmp(bytes, w->block + within, n) != 0) return false;
        bytes += n;
        at += n;
        size -= n;
        ++w;
    }
    return true;
}

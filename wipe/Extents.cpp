// Set arithmetic on stretches of a device.
#include "wipe/Extents.h"

#include <algorithm>

std::vector<Extent> Joined(std::vector<Extent> extents) {
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
    std::vector<Extent> joined;
    for (const Extent& e : extents) {
        if (e.length == 0) continue;
        if (!joined.empty() && e.offset <= joined.back().end()) {
            joined.back().length = std::max(joined.back().end(), e.end()) - joined.back().offset;
        } else {
            joined.push_back(e);
        }
    }
    return joined;
}

std::vector<Extent> Intersection(const std::vector<Extent>& a, const std::vector<Extent>& b) {
    const std::vector<Extent> x = Joined(a);
    const std::vector<Extent> y = Joined(b);
    std::vector<Extent> both;
    std::size_t i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        const std::uint64_t start = std::max(x[i].offset, y[j].offset);
        const std::uint64_t end = std::min(x[i].end(), y[j].end());
        if (end > start) both.push_back({start, end - start});
        if (x[i].end() < y[j].end()) {
            ++i;
        } else {
            ++j;
        }
    }
    return both;
}

std::vector<Extent> Difference(const std::vector<Extent>& a, const std::vector<Extent>& b) {
    const std::vector<Extent> x = Joined(a);
    const std::vector<Extent> y = Joined(b);
    std::vector<Extent> rest;
    std::size_t j = 0;
    for (const Extent& e : x) {
        std::uint64_t at = e.offset;
        while (j < y.size() && y[j].end() <= at)
            ++j;
        for (std::size_t k = j; k < y.size() && y[k].offset < e.end(); ++k) {
            if (y[k].offset > at) rest.push_back({at, y[k].offset - at});
            at = std::max(at, y[k].end());
        }
        if (at < e.end()) rest.push_back({at, e.end() - at});
    }
    return rest;
}

std::uint64_t TotalLength(const std::vector<Extent>& extents) {
    std::uint64_t total = 0;
    for (const Extent& e : Joined(extents))
        total += e.length;
    return total;
}

std::vector<Extent> HeldBy(const SpaceMap& map, SpaceOwner owner) {
    std::vector<Extent> held;
    for (const SpaceExtent& piece : map) {
        if (piece.owner == owner) AppendExtent(held, piece.extent);
    }
    return held;
}

void AppendExtent(std::vector<Extent>& extents, Extent extent) {
    if (extent.length == 0) return;
    if (!extents.empty() && extents.back().end() == extent.offset) {
        extents.back().length += extent.length;
    } else {
        extents.push_back(extent);
    }
}

// Stretches of a device taken as sets of bytes: joined, intersected, subtracted and measured. A
// pass's coverage and its read-back are worked out with them.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/DiskMap.h"

// Sorted by offset, empty ones left out, overlapping and touching ones joined.
std::vector<Extent> Joined(std::vector<Extent> extents);
// The bytes that lie in both.
std::vector<Extent> Intersection(const std::vector<Extent>& a, const std::vector<Extent>& b);
// The bytes of a that do not lie in b.
std::vector<Extent> Difference(const std::vector<Extent>& a, const std::vector<Extent>& b);
// The bytes in all of them (each byte once).
std::uint64_t TotalLength(const std::vector<Extent>& extents);
// The stretches of the map that the owner holds.
std::vector<Extent> HeldBy(const SpaceMap& map, SpaceOwner owner);
// Appends a stretch, joined to the last one where it continues it.
void AppendExtent(std::vector<Extent>& extents, Extent extent);

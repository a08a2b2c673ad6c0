// Parser of /proc/swaps.
#include "platform/linux/SwapList.h"

#include <charconv>
#include <sstream>

#include "platform/linux/MountInfo.h"

std::vector<SwapArea> parseSwaps(std::string_view text) {
    std::vector<SwapArea> areas;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string path, type, size;
        if (!(fields >> path >> type >> size) || path == "Filename") continue;
        SwapArea area;
        area.path = unescapeMountField(path);
        area.type = type;
        std::from_chars(size.data(), size.data() + size.size(), area.sizeKiB);
        areas.push_back(std::move(area));
    }
    return areas;
}

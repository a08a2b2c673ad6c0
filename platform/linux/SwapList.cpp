// Parser of /proc/swaps.
#include "platform/linux/SwapList.h"

#include <sys/stat.h>

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

std::optional<std::int64_t> swapFileInDirectory(const std::vector<SwapArea>& areas, int dirFd) {
    struct stat dir {};
    if (::fstat(dirFd, &dir) != 0) return std::nullopt;
    for (const SwapArea& area : areas) {
        if (area.type != "file") continue;
        const auto slash = area.path.rfind('/');
        if (slash == std::string::npos) continue;
        const std::string parent = slash == 0 ? "/" : area.path.substr(0, slash);
        struct stat file {
        }, holder{};
        if (::stat(area.path.c_str(), &file) == 0 && S_ISREG(file.st_mode) &&
            ::stat(parent.c_str(), &holder) == 0 && holder.st_dev == dir.st_dev &&
            holder.st_ino == dir.st_ino) {
            return static_cast<std::int64_t>(file.st_size);
        }
    }
    return std::nullopt;
}

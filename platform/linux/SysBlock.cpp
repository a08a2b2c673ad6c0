// Reading block-device facts from /sys/dev/block.
#include "platform/linux/SysBlock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/linux/UniqueFd.h"

namespace {

std::string dirName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

// The sysfs directory of a block device, e.g. /sys/devices/.../block/sda/sda1.
std::string deviceDir(unsigned major, unsigned minor) {
    return realPath("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
}

// The disk of a device directory: a partition's parent, else the device itself.
std::string diskDir(const std::string& dir) {
    return exists(dir + "/partition") ? dirName(dir) : dir;
}

// The device directories below a mapped or RAID device (its own and its disk's "slaves").
std::vector<std::string> devicesBelow(const std::string& dir, const std::string& disk) {
    std::vector<std::string> below;
    for (const std::string& holder : {dir + "/slaves", disk + "/slaves"}) {
        std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(holder.c_str()), ::closedir);
        if (!d) continue;
        while (const dirent* entry = ::readdir(d.get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (std::string path = realPath(holder + "/" + name); !path.empty()) {
                below.push_back(std::move(path));
            }
        }
    }
    return below;
}

// Whether the disk, or any disk below a mapped or RAID device, is removable.
bool removableBelow(const std::string& dir, int depth) {
    const std::string disk = diskDir(dir);
    const auto flag = readSmallFile(disk + "/removable");
    if (flag && !flag->empty() && (*flag)[0] == '1') return true;
    if (depth >= 4) return false;
    const std::vector<std::string> below = devicesBelow(dir, disk);
    return std::any_of(below.begin(), below.end(),
                       [&](const std::string& d) { return removableBelow(d, depth + 1); });
}

// The sysfs directory of the block device a mount lives on, found through its device number or,
// for file systems that report an anonymous one (btrfs, fuseblk), through its source.
std::string mountDeviceDir(const MountEntry& entry) {
    std::string dir;
    if (entry.major != 0) dir = deviceDir(entry.major, entry.minor);
    if (dir.empty() && entry.source.rfind("/dev/", 0) == 0) {
        struct stat st {};
        if (::stat(entry.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
            dir = deviceDir(major(st.st_rdev), minor(st.st_rdev));
        }
    }
    return dir;
}

std::string firstLine(std::string text) {
    const auto end = text.find('\n');
    if (end != std::string::npos) text.erase(end);
    return text;
}

bool flashBelow(const std::string& dir, int depth) {
    const std::string disk = diskDir(dir);
    if (depth < 6) {
        // A loop device stands for the disk that holds its backing file.
        if (const auto backing = readSmallFile(disk + "/loop/backing_file")) {
            struct stat st {};
            if (::stat(firstLine(*backing).c_str(), &st) == 0 && major(st.st_dev) != 0) {
                const std::string below = deviceDir(major(st.st_dev), minor(st.st_dev));
                if (!below.empty()) return flashBelow(below, depth + 1);
            }
        }
        // A mapped or RAID device is flash when any disk below it is.
        const std::vector<std::string> below = devicesBelow(dir, disk);
        if (!below.empty()) {
            return std::any_of(below.begin(), below.end(),
                               [&](const std::string& d) { return flashBelow(d, depth + 1); });
        }
    }
    const auto rotational = readSmallFile(disk + "/queue/rotational");
    return rotational && !rotational->empty() && (*rotational)[0] == '0';
}

}  // namespace

std::optional<std::string> readSmallFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::optional<BlockFacts> sysBlockFacts(const MountEntry& entry) {
    const std::string dir = mountDeviceDir(entry);
    if (dir.empty()) return std::nullopt;
    BlockFacts facts;
    const std::string name = baseName(diskDir(dir));
    facts.ramdisk = name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0;
    facts.removable = removableBelow(dir, 0);
    return facts;
}

bool flashStorage(const MountEntry& entry) {
    const std::string dir = mountDeviceDir(entry);
    return !dir.empty() && flashBelow(dir, 0);
}

bool takesDiscards(const MountEntry& entry) {
    const std::string dir = mountDeviceDir(entry);
    if (dir.empty()) return false;
    const auto bytes = readSmallFile(diskDir(dir) + "/queue/discard_max_bytes");
    return bytes && std::strtoull(bytes->c_str(), nullptr, 10) > 0;
}

std::string diskName(const MountEntry& entry) {
    const std::string dir = mountDeviceDir(entry);
    return dir.empty() ? std::string() : baseName(diskDir(dir));
}

std::string sysBlockName(unsigned major, unsigned minor) {
    const std::string dir = deviceDir(major, minor);
    return dir.empty() ? std::string() : baseName(dir);
}

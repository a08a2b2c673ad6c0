// Image-backed drives for the Linux platform's tests.
#include "tests/platform/ImageDrive.h"

#include <sys/statvfs.h>

#include <filesystem>

ImageDrive::ImageDrive(const LoopImage::Options& options, const std::string& extraDrives)
    : image_(options) {
    pinned_ = image_.mountPoint() + (extraDrives.empty() ? "" : ":" + extraDrives);
    LinuxPlatform::Options o;
    o.drives = pinned_;
    platform_ = std::make_unique<LinuxPlatform>(o);
}

std::uint64_t ImageDrive::freeBytes() {
    std::uint64_t bytes = 0;
    return platform_->diskFreeSpaceEx("C:\\", bytes) ? bytes : 0;
}

std::uint64_t ImageDrive::blockSize() const {
    struct statvfs vfs {};
    return ::statvfs(image_.mountPoint().c_str(), &vfs) == 0 ? vfs.f_frsize : 4096;
}

std::vector<std::string> ImageDrive::rootFiles() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(image_.mountPoint(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name != "lost+found") names.push_back(name);
    }
    return names;
}

bool haveTool(const std::string& tool) {
    return LoopImage::run("command -v " + tool + " >/dev/null 2>&1") == 0;
}

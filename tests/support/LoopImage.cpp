// Test file systems on loop devices, made and mounted by the test itself.
#include "tests/support/LoopImage.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string capture(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p) != nullptr)
            out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

bool haveTool(const std::string& tool) {
    return LoopImage::run("command -v " + tool + " >/dev/null 2>&1") == 0;
}

}  // namespace

int LoopImage::run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void LoopImage::enterPrivateMountNamespace() {
    if (geteuid() != 0) return;
    if (unshare(CLONE_NEWNS) != 0) return;
    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
}

std::string LoopImage::skipReason() {
    if (geteuid() != 0) return "needs root to make and loop-mount a test file system";
    if (!haveTool("mkfs.ext4") || !haveTool("losetup")) return "mkfs.ext4 or losetup missing";
    return "";
}

LoopImage::LoopImage(const Options& options) : options_(options) {
    char templ[] = "/tmp/quellix-test-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        error_ = "mkdtemp failed";
        return;
    }
    dir_ = templ;
    image_ = dir_ + "/disk.img";
    mountPoint_ = dir_ + "/mnt";
    std::filesystem::create_directory(mountPoint_);

    const std::string size = std::to_string(options_.sizeMiB) + "M";
    if (run("truncate -s " + size + " " + image_) != 0) {
        error_ = "truncate failed";
        return;
    }
    std::string mkfs;
    if (options_.fsType == "ext4") {
        mkfs = "mkfs.ext4 -q -F -b 4096 ";
    } else if (options_.fsType == "xfs") {
        mkfs = "mkfs.xfs -q -f ";
    } else if (options_.fsType == "btrfs") {
        mkfs = "mkfs.btrfs -q -f ";
    } else if (options_.fsType == "ntfs") {
        mkfs = "mkntfs -q -F -Q ";  // mounted through FUSE (ntfs-3g, fuseblk)
    } else {
        error_ = "unknown file system " + options_.fsType;
        return;
    }
    if (run(mkfs + options_.mkfsOptions + " " + image_ + " >/dev/null 2>&1") != 0) {
        error_ = "mkfs." + options_.fsType + " failed";
        return;
    }
    attachAndMount();
}

bool LoopImage::remount() {
    if (mounted_) return ok_;
    error_.clear();
    attachAndMount();
    return ok_;
}

void LoopImage::attachAndMount() {
    device_ = capture("losetup --find --show --sector-size " + std::to_string(options_.sectorSize) +
                      " " + image_ + " 2>/dev/null");
    if (device_.rfind("/dev/loop", 0) != 0) {
        error_ = "losetup failed";
        device_.clear();
        return;
    }
    const std::string mountOptions = options_.fsType == "ntfs" ? "-t ntfs-3g " : "-o nodiscard ";
    if (run("mount " + mountOptions + device_ + " " + mountPoint_ + " 2>/dev/null") != 0) {
        error_ = "mount failed";
        return;
    }
    mounted_ = true;
    if (!verified()) {
        error_ = "the mount point is not a mount of the test image";
        return;
    }
    ok_ = true;
}

LoopImage::~LoopImage() {
    unmount();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

bool LoopImage::verified() const {
    if (!mounted_ || device_.empty()) return false;
    if (run("mountpoint -q " + mountPoint_) != 0) return false;
    struct stat mnt {
    }, parent{}, dev{};
    if (stat(mountPoint_.c_str(), &mnt) != 0 || stat(dir_.c_str(), &parent) != 0 ||
        stat(device_.c_str(), &dev) != 0) {
        return false;
    }
    if (mnt.st_dev == parent.st_dev) return false;
    // btrfs and FUSE report an anonymous device number; the other file systems the loop
    // device's own.
    const bool anonymous = options_.fsType == "btrfs" || options_.fsType == "ntfs";
    if (!anonymous && mnt.st_dev != dev.st_rdev) return false;
    return true;
}

void LoopImage::unmount() {
    if (mounted_) {
        run("umount " + mountPoint_ + " 2>/dev/null");
        mounted_ = false;
    }
    if (!device_.empty()) {
        run("losetup -d " + device_ + " 2>/dev/null");
        device_.clear();
    }
    ok_ = false;
}

void LoopImage::fillWithMarker(const std::string& marker) const {
    if (!verified()) return;  // never fill anything but the test's own mount
    std::string block;
    while (block.size() < 1 << 20)
        block += marker;
    block.resize(1 << 20);
    // Every 4096-byte block of the file starts with the marker.
    for (std::size_t i = 0; i < block.size(); i += 4096)
        block.replace(i, marker.size(), marker);
    for (int n = 0;; ++n) {
        const std::string path = mountPoint_ + "/marker" + std::to_string(n);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) break;
        bool full = false;
        while (!full) {
            const ssize_t w = write(fd, block.data(), block.size());
            if (w <= 0) full = true;
        }
        // Fill the last partial blocks in small pieces.
        for (;;) {
            if (write(fd, block.data(), 4096) <= 0) break;
        }
        fsync(fd);
        close(fd);
        if (n > 4) break;
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && st.st_size == 0) break;
    }
    run("sync");
    for (const auto& entry : std::filesystem::directory_iterator(mountPoint_)) {
        if (entry.path().filename().string().rfind("marker", 0) == 0) {
            std::filesystem::remove(entry.path());
        }
    }
    run("sync");
}

bool LoopImage::writeAndDeleteMarkerFile(const std::string& marker, int blocks) const {
    if (!verified()) return false;  // never write anything but the test's own mount
    std::string block(4096, '.');
    block.replace(0, marker.size(), marker);
    const std::string path = mountPoint_ + "/secret";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    bool written = true;
    for (int i = 0; i < blocks && written; ++i)
        written = write(fd, block.data(), block.size()) == 4096;
    written = fsync(fd) == 0 && written;
    close(fd);
    std::filesystem::remove(path);
    run("sync");
    return written;
}

std::uint64_t LoopImage::freeBlocks() const {
    run("sync");
    struct statvfs s {};
    return statvfs(mountPoint_.c_str(), &s) == 0 ? s.f_bfree : 0;
}

std::vector<std::string> LoopImage::fillFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(mountPoint_)) {
        if (entry.path().extension() == ".qlk") names.push_back(entry.path().filename());
    }
    return names;
}

std::uint64_t LoopImage::markerBlocks(const std::string& marker) const {
    std::ifstream in(image_, std::ios::binary);
    std::vector<char> block(4096);
    std::uint64_t count = 0;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size()))) {
        if (std::equal(marker.begin(), marker.end(), block.begin())) ++count;
    }
    return count;
}

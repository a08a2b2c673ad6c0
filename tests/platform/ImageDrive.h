// A LinuxPlatform whose drive C: is a fresh loop-mounted image of the test's own, and nothing
// of the machine: the drive list is pinned to the image's mount point.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/LinuxPlatform.h"
#include "tests/support/LoopImage.h"

class ImageDrive {
public:
    // extraDrives are appended to the pinned list (D: on), e.g. a directory that is no mount.
    explicit ImageDrive(const LoopImage::Options& options = {},
                        const std::string& extraDrives = "");

    // Whether the image is mounted and verified as the test's own; error() says why not.
    bool ready() const { return image_.ok() && image_.verified(); }
    std::string error() const { return image_.error(); }

    LinuxPlatform& platform() { return *platform_; }
    LoopImage& image() { return image_; }
    const std::string& pinned() const { return pinned_; }

    // The fillable bytes of C: as the platform reports them (0 when it cannot read them).
    std::uint64_t freeBytes();
    std::uint64_t blockSize() const;
    // Names in the image's root directory, without lost+found.
    std::vector<std::string> rootFiles() const;

private:
    LoopImage image_;
    std::string pinned_;
    std::unique_ptr<LinuxPlatform> platform_;
};

// Whether a tool is on the PATH.
bool haveTool(const std::string& tool);

// Reading back what a fill wrote, on Linux: where a file's data lies on its device (FIEMAP), who
// holds a file system's blocks (GETFSMAP), and the block device below a mount, read past the
// page cache (O_DIRECT).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/DiskMap.h"
#include "platform/Platform.h"
#include "platform/linux/UniqueFd.h"

// The pieces of the open file, its data written out first. Nothing when the file system does
// not tell where a file lies.
std::optional<std::vector<FileExtent>> fileExtents(int fd);

// The map of the file system of the open directory, on its data device (major:minor), within the
// stretches given (all of it when none are), adjacent pieces of one owner joined. Nothing when
// the file system keeps no such map or will not tell it.
std::optional<SpaceMap> fileSystemMap(int dirFd, unsigned major, unsigned minor,
                                      const std::vector<Extent>& within);

// The open block devices. Drives that fill at the same time read back on threads of their own:
// the table is shared, each device is used by one thread at a time.
class DriveDevices {
public:
    DriveDevices() = default;
    DriveDevices(const DriveDevices&) = delete;
    DriveDevices& operator=(const DriveDevices&) = delete;

    // Opens the block device major:minor for reading past the page cache. Raises with the
    // reason in words where it cannot be opened, or where what opens is not that device.
    DeviceHandle open(unsigned major, unsigned minor);
    void read(DeviceHandle device, std::uint64_t offset, char* buffer, std::size_t size);
    // Writes out and drops the device's cached blocks (BLKFLSBUF; needs CAP_SYS_ADMIN).
    void flush(DeviceHandle device);
    void close(DeviceHandle device);

private:
    struct Device {
        UniqueFd fd;
        std::uint32_t offsetAlign = 4096;
        std::uint32_t memAlign = 4096;
        std::string path;
    };
    Device& find(DeviceHandle device);

    std::mutex mutex_;
    std::map<DeviceHandle, Device> devices_;
};

// Facts about block devices from sysfs: removable flag, RAM disks, kernel names.
#pragma once

#include <optional>
#include <string>

#include "platform/linux/DriveTable.h"

// The real BlockLookup: the device of the mount (or, for file systems that report an anonymous
// device number such as btrfs and fuseblk, the device node named as the mount's source).
std::optional<BlockFacts> sysBlockFacts(const MountEntry& entry);

// Whether the storage below the mount's block device is flash: the disk the kernel shows under
// partitions, device-mapper and RAID devices and, for a loop device, under its backing file, is
// non-rotational. False when the mount has no block device.
bool flashStorage(const MountEntry& entry);

// Whether the block device below the mount takes discards (a freed block may read back as
// zeros once the file system discards it). False when the mount has no block device.
bool takesDiscards(const MountEntry& entry);

// The kernel's name of the disk below the mount's block device: a partition's disk ("sda" for
// sda2), else the device itself ("loop3", "dm-0"); empty when the mount has no block device.
std::string diskName(const MountEntry& entry);

// The kernel's name of a block device ("loop3", "sda1", "dm-0"); empty when it has none.
std::string sysBlockName(unsigned major, unsigned minor);

// The whole text of a small file (a sysfs or procfs file); nothing when it cannot be read.
std::optional<std::string> readSmallFile(const std::string& path);

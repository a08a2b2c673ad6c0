// The program's drives on Linux: which mounted file systems are listed from C: on, what type
// each one has, and how a drive path ("C:\name") maps onto its mount point. Pure functions over
// the mount table, so that they can be tested on sample texts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/MountInfo.h"

// What the block layer says about the device a file system lives on.
struct BlockFacts {
    bool removable = false;  // the disk (or a disk below a mapped device) is marked removable
    bool ramdisk = false;    // a RAM-backed block device (ram*, zram*)
};

// Looks up the block device behind a mount; nothing when the file system has none.
using BlockLookup = std::function<std::optional<BlockFacts>(const MountEntry&)>;

struct Drive {
    std::string mountPoint;  // as listed (an entry of QUELLIX_DRIVES that is no mount point too)
    DriveType type = DRIVE_UNKNOWN;
    bool mounted = false;  // false: a listed path that is not a mount point; never written
    MountEntry mount;      // valid when mounted
};

// The type of a mounted file system. Only a writable local file system on a non-removable block
// device is DRIVE_FIXED.
DriveType classifyMount(const MountEntry& entry, const BlockLookup& lookup);

// Whether a file system type is a pseudo or image file system that is never listed by itself.
bool isPseudoFileSystem(std::string_view fsType);

// Whether a mount point is a directory. A file can be mounted over a file (containers receive
// /etc/hosts that way); such a mount is never a drive.
using DirectoryCheck = std::function<bool(const std::string& mountPoint)>;

// The user who made a mount, where the mount table tells: a FUSE file system names it (user_id=).
// Nothing for a mount of the system's (the kernel's file systems, mounted by root).
std::optional<unsigned> mountMaker(const MountEntry& entry);

// Who is asking for the list: mounts that another ordinary user made (any user may mount FUSE
// file systems, two dozen of them, at names of their choice) are left out, so that they can
// neither move the letters nor crowd out the drives, unless they are among the mount points named
// (on the command line); those follow the others.
struct DriveViewer {
    unsigned uid = 0;
    std::vector<std::string> named;
};

// The drives from C: on. With pinned (the colon-separated list of QUELLIX_DRIVES) exactly those
// paths, in that order; otherwise the root file system, then the other listed file systems in
// alphabetical order of their mount points, each file system once, chosen among the mounts
// whose mount point is a directory (all are, without isDirectory), without other users' mounts
// where a viewer is given. A pinned path whose mount is not a directory is listed as no mount
// point. The list is not cut at 24: the caller decides what to do with more.
std::vector<Drive> buildDriveTable(const std::vector<MountEntry>& entries,
                                   const std::optional<std::string>& pinned,
                                   const BlockLookup& lookup,
                                   const DirectoryCheck& isDirectory = {},
                                   const std::optional<DriveViewer>& viewer = std::nullopt);

// "C: /" for the drive at the given index of the table (0 is C:), the mount point's control
// characters escaped (runtime/EscapedName.h).
std::string driveDisplayText(std::size_t index, const Drive& drive);

// A drive path split into the index of its drive in the table (C: is 0) and the path below the
// drive's root with "/" separators ("C:\a\b" -> 0, "a/b"). Nothing for a host path.
struct DrivePath {
    int index = 0;
    std::string name;
};
std::optional<DrivePath> splitDrivePath(std::string_view path);

// Whether a relative name stays below its directory (no "..", not absolute).
bool isContainedName(std::string_view name);

// The host path of a name below a mount point ("/" + "x" gives "/x", "/mnt" + "x" "/mnt/x").
std::string joinMountPath(const std::string& mountPoint, const std::string& name);

// Removes repeated and trailing slashes and "." components: "/mnt//a/./" gives "/mnt/a".
std::string normalizeMountPath(std::string_view path);

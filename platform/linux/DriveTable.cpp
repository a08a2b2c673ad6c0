// Listing and typing of the mounted file systems as the program's drives.
#include "platform/linux/DriveTable.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <utility>

#include "platform/Platform.h"
#include "runtime/EscapedName.h"

namespace {

constexpr std::array kPseudo = {
    "autofs",
    "binfmt_misc",
    "bpf",
    "cgroup",
    "cgroup2",
    "configfs",
    "debugfs",
    "devpts",
    "devtmpfs",
    "efivarfs",
    "erofs",
    "fusectl",
    "hugetlbfs",
    "mqueue",
    "nfsd",
    "nsfs",
    "overlay",
    "proc",
    "pstore",
    "ramfs",
    "rootfs",
    "rpc_pipefs",
    "securityfs",
    "selinuxfs",
    "smackfs",
    "squashfs",
    "sysfs",
    "tmpfs",
    "tracefs",
    "aufs",
    "fuse.gvfsd-fuse",
    "fuse.portal",
    "fuse.lxcfs",
    "fuse.snapfuse",
    "fuse.xdg-document-portal",
    "fuse.kio-fuse",
    "fuse.appimagefuse",
};

constexpr std::array kRemote = {
    "nfs",
    "nfs4",
    "cifs",
    "smb3",
    "smbfs",
    "ncpfs",
    "9p",
    "afs",
    "ceph",
    "glusterfs",
    "lustre",
    "coda",
    "davfs",
    "virtiofs",
    "vboxsf",
    "fuse.sshfs",
    "fuse.rclone",
    "fuse.s3fs",
    "fuse.glusterfs",
    "fuse.davfs2",
    "fuse.curlftpfs",
    "fuse.gcsfuse",
    "fuse.vmhgfs-fuse",
};

template <std::size_t N>
bool contains(const std::array<const char*, N>& set, std::string_view value) {
    return std::any_of(set.begin(), set.end(), [&](const char* s) { return value == s; });
}

bool isUserSpaceFileSystem(std::string_view fsType) {
    return fsType == "fuse" || fsType.substr(0, 5) == "fuse.";
}

// A FUSE file system names its server in the source field ("user@host:/dir", "//host/share").
bool looksRemote(const MountEntry& e) {
    if (contains(kRemote, e.fsType)) return true;
    if (!isUserSpaceFileSystem(e.fsType)) return false;
    return e.source.find(":/") != std::string::npos || e.source.substr(0, 2) == "//" ||
           e.source.find('@') != std::string::npos;
}

// The visible mount at each mount point: a later line mounted over an earlier one hides it.
std::map<std::string, const MountEntry*> visibleMounts(const std::vector<MountEntry>& entries) {
    std::map<std::string, const MountEntry*> top;
    for (const auto& e : entries)
        top[e.mountPoint] = &e;
    return top;
}

Drive mountedDrive(const MountEntry& e, const BlockLookup& lookup) {
    Drive d;
    d.mountPoint = e.mountPoint;
    d.type = classifyMount(e, lookup);
    d.mounted = true;
    d.mount = e;
    return d;
}

}  // namespace

bool isPseudoFileSystem(std::string_view fsType) {
    return contains(kPseudo, fsType);
}

DriveType classifyMount(const MountEntry& e, const BlockLookup& lookup) {
    if (looksRemote(e)) return DRIVE_REMOTE;
    if (e.fsType == "iso9660" || e.fsType == "udf") return DRIVE_CDROM;
    if (e.fsType == "tmpfs" || e.fsType == "ramfs") return DRIVE_RAMDISK;
    const std::optional<BlockFacts> facts = lookup ? lookup(e) : std::nullopt;
    if (!facts) return DRIVE_UNKNOWN;  // no block device: pseudo, image or pooled file systems
    if (facts->ramdisk) return DRIVE_RAMDISK;
    if (facts->removable) return DRIVE_REMOVABLE;
    // A user-space file system other than fuseblk has no block device of its own.
    if (isUserSpaceFileSystem(e.fsType)) return DRIVE_UNKNOWN;
    if (isReadOnly(e)) return DRIVE_UNKNOWN;
    return DRIVE_FIXED;
}

std::optional<unsigned> mountMaker(const MountEntry& e) {
    std::string value;
    if (!(isUserSpaceFileSystem(e.fsType) || e.fsType == "fuseblk") ||
        !hasOption(e.superOptions, "user_id", &value) || value.empty() ||
        value.find_first_not_of("0123456789") != std::string::npos || value.size() > 9) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::stoul(value));
}

std::vector<Drive> buildDriveTable(const std::vector<MountEntry>& entries,
                                   const std::optional<std::string>& pinned,
                                   const BlockLookup& lookup, const DirectoryCheck& isDirectory,
                                   const std::optional<DriveViewer>& viewer) {
    const auto top = visibleMounts(entries);
    const auto directory = [&](const MountEntry& e) {
        return !isDirectory || isDirectory(e.mountPoint);
    };
    std::vector<Drive> drives;

    if (pinned) {
        std::size_t pos = 0;
        const std::string& list = *pinned;
        while (pos <= list.size()) {
            const std::size_t end = std::min(list.find(':', pos), list.size());
            const std::string path =
                normalizeMountPath(std::string_view(list).substr(pos, end - pos));
            pos = end + 1;
            if (path.empty()) continue;
            const auto it = top.find(path);
            if (it != top.end() && directory(*it->second)) {
                drives.push_back(mountedDrive(*it->second, lookup));
            } else {
                Drive d;
                d.mountPoint = path;
                d.type = DRIVE_UNKNOWN;
                drives.push_back(d);
            }
        }
        return drives;
    }

    // C: is the root file system whatever its type; every other file system is listed once,
    // under the mount that shows its whole tree if there is one, else its first mount point.
    std::set<std::pair<unsigned, unsigned>> seen;
    if (const auto root = top.find("/"); root != top.end()) {
        drives.push_back(mountedDrive(*root->second, lookup));
        seen.insert({root->second->major, root->second->minor});
    } else {
        Drive d;
        d.mountPoint = "/";
        drives.push_back(d);
    }
    // Another ordinary user's mount, named or not.
    const auto othersMount = [&](const MountEntry& e) {
        const auto maker = mountMaker(e);
        return viewer && maker && *maker != 0 && *maker != viewer->uid;
    };
    const auto named = [&](const MountEntry& e) {
        return std::find(viewer->named.begin(), viewer->named.end(), e.mountPoint) !=
               viewer->named.end();
    };
    std::vector<const MountEntry*> namedOthers;
    std::map<std::pair<unsigned, unsigned>, const MountEntry*> chosen;
    for (const auto& [point, e] : top) {  // in alphabetical order of mount points
        if (isPseudoFileSystem(e->fsType)) continue;
        if (othersMount(*e)) {
            if (named(*e) && directory(*e)) namedOthers.push_back(e);
            continue;
        }
        const std::pair<unsigned, unsigned> dev{e->major, e->minor};
        if (seen.count(dev) != 0) continue;
        if (!directory(*e)) continue;
        auto& best = chosen[dev];
        if (best == nullptr || (best->root != "/" && e->root == "/")) best = e;
    }
    std::vector<const MountEntry*> others;
    for (const auto& [dev, e] : chosen)
        others.push_back(e);
    std::sort(others.begin(), others.end(), [](const MountEntry* a, const MountEntry* b) {
        return a->mountPoint < b->mountPoint;
    });
    for (const MountEntry* e : others)
        drives.push_back(mountedDrive(*e, lookup));
    for (const MountEntry* e : namedOthers)
        drives.push_back(mountedDrive(*e, lookup));
    return drives;
}

std::string driveDisplayText(std::size_t index, const Drive& drive) {
    const char letter = static_cast<char>('C' + index);
    return std::string(1, letter) + ": " + EscapedName(drive.mountPoint);
}

std::optional<DrivePath> splitDrivePath(std::string_view path) {
    if (path.size() < 2 || path[1] != ':') return std::nullopt;
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    DrivePath result;
    result.index = letter - 'C';
    std::string_view rest = path.substr(2);
    while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/'))
        rest.remove_prefix(1);
    result.name.assign(rest.begin(), rest.end());
    std::replace(result.name.begin(), result.name.end(), '\\', '/');
    return result;
}

bool isContainedName(std::string_view name) {
    if (!name.empty() && name.front() == '/') return false;
    std::size_t pos = 0;
    while (pos <= name.size()) {
        const std::size_t end = std::min(name.find('/', pos), name.size());
        if (name.substr(pos, end - pos) == "..") return false;
        pos = end + 1;
    }
    return true;
}

std::string joinMountPath(const std::string& mountPoint, const std::string& name) {
    if (mountPoint.empty() || mountPoint.back() == '/') return mountPoint + name;
    return mountPoint + "/" + name;
}

std::string normalizeMountPath(std::string_view path) {
    if (path.empty()) return {};
    std::string out;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t end = std::min(path.find('/', pos), path.size());
        const std::string_view part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") continue;
        out += "/";
        out += part;
    }
    if (out.empty()) return "/";
    // A relative entry stays relative; it can never match a mount point.
    if (path.front() != '/') out.erase(0, 1);
    return out;
}

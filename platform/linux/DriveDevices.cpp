// FIEMAP, GETFSMAP and the block device below a mount, read with O_DIRECT.
#include "platform/linux/DriveDevices.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/fsmap.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "platform/linux/SysBlock.h"
#include "runtime/RuntimeError.h"

namespace {

// Extents whose bytes do not lie at their device offset as written: kept beside metadata, in a
// block shared with other files, encrypted or compressed, or of no known place yet.
constexpr std::uint32_t kNotPlain = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC |
                                    FIEMAP_EXTENT_ENCODED | FIEMAP_EXTENT_DATA_ENCRYPTED |
                                    FIEMAP_EXTENT_NOT_ALIGNED | FIEMAP_EXTENT_DATA_INLINE |
                                    FIEMAP_EXTENT_DATA_TAIL;

// Errors that mean the file system has no such call (or will not answer it).
bool unsupported(int err) {
    return err == EOPNOTSUPP || err == ENOTTY || err == EINVAL || err == EPERM || err == EACCES;
}

bool aligned(std::uint64_t value, std::uint32_t alignment) {
    return value % alignment == 0;
}

// The kernel's encoding of a device number in GETFSMAP's records (new_encode_dev).
std::uint32_t encodedDevice(unsigned major, unsigned minor) {
    return (minor & 0xffu) | (major << 8) | ((minor & ~0xffu) << 12);
}

SpaceOwner ownerOf(const fsmap& record) {
    if ((record.fmr_flags & FMR_OF_SPECIAL_OWNER) == 0) return SpaceOwner::File;
    if (record.fmr_owner == FMR_OWN_FREE) return SpaceOwner::Free;
    if (record.fmr_owner == FMR_OWN_UNKNOWN) return SpaceOwner::Unknown;
    return SpaceOwner::Metadata;  // the superblock, journal, tables, bitmaps, trees ...
}

// Adds a piece to the map, joined to the last one where it continues it with the same owner.
void append(SpaceMap& map, Extent piece, SpaceOwner owner) {
    if (piece.length == 0) return;
    if (!map.empty() && map.back().owner == owner && map.back().extent.end() == piece.offset) {
        map.back().extent.length += piece.length;
        return;
    }
    map.push_back({piece, owner});
}

// The map of one stretch [from, to).
bool mapStretch(int dirFd, std::uint32_t device, std::uint64_t from, std::uint64_t to,
                SpaceMap& map) {
    constexpr unsigned kBatch = 512;
    std::vector<std::uint64_t> storage((fsmap_sizeof(kBatch) + 7) / 8, 0);
    auto* head = reinterpret_cast<fsmap_head*>(storage.data());
    head->fmh_count = kBatch;
    head->fmh_keys[0].fmr_device = device;
    head->fmh_keys[0].fmr_physical = from;
    head->fmh_keys[1].fmr_device = device;
    head->fmh_keys[1].fmr_physical = to - 1;
    head->fmh_keys[1].fmr_owner = std::numeric_limits<std::uint64_t>::max();
    head->fmh_keys[1].fmr_offset = std::numeric_limits<std::uint64_t>::max();
    head->fmh_keys[1].fmr_flags = std::numeric_limits<std::uint32_t>::max();
    for (;;) {
        if (::ioctl(dirFd, FS_IOC_GETFSMAP, head) != 0) {
            if (unsupported(errno)) return false;
            raiseErrno(errno);
        }
        if (head->fmh_entries == 0) return true;
        for (unsigned i = 0; i < head->fmh_entries; ++i) {
            const fsmap& r = head->fmh_recs[i];
            // Records of another device (an external log) and the parts outside the stretch
            // are left out.
            if ((head->fmh_oflags & FMH_OF_DEV_T) != 0 && r.fmr_device != device) continue;
            const std::uint64_t start = std::max<std::uint64_t>(r.fmr_physical, from);
            const std::uint64_t end = std::min<std::uint64_t>(r.fmr_physical + r.fmr_length, to);
            if (end > start) append(map, {start, end - start}, ownerOf(r));
        }
        if ((head->fmh_recs[head->fmh_entries - 1].fmr_flags & FMR_OF_LAST) != 0) return true;
        fsmap_advance(head);
    }
}

}  // namespace

std::optional<std::vector<FileExtent>> fileExtents(int fd) {
    constexpr unsigned kBatch = 256;
    std::vector<std::uint64_t> storage((sizeof(fiemap) + kBatch * sizeof(fiemap_extent) + 7) / 8,
                                       0);
    auto* map = reinterpret_cast<fiemap*>(storage.data());
    std::vector<FileExtent> extents;
    std::uint64_t start = 0;
    // The file's data is written out once, before its first extents are asked for.
    std::uint32_t flags = FIEMAP_FLAG_SYNC;
    for (;;) {
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_flags = flags;
        map->fm_extent_count = kBatch;
        map->fm_mapped_extents = 0;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
            if (unsupported(errno) || errno == EBADR) return std::nullopt;
            raiseErrno(errno);
        }
        flags = 0;
        if (map->fm_mapped_extents == 0) return extents;
        for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& e = map->fm_extents[i];
            extents.push_back(
                {e.fe_logical, e.fe_physical, e.fe_length, (e.fe_flags & kNotPlain) == 0});
            if ((e.fe_flags & FIEMAP_EXTENT_LAST) != 0) return extents;
        }
        const fiemap_extent& last = map->fm_extents[map->fm_mapped_extents - 1];
        start = last.fe_logical + last.fe_length;
    }
}

std::optional<SpaceMap> fileSystemMap(int dirFd, unsigned major, unsigned minor,
                                      const std::vector<Extent>& within) {
    const std::uint32_t device = encodedDevice(major, minor);
    SpaceMap map;
    if (within.empty()) {
        if (!mapStretch(dirFd, device, 0, std::numeric_limits<std::uint64_t>::max(), map)) {
            return std::nullopt;
        }
        return map;
    }
    std::vector<Extent> stretches = within;
    std::sort(stretches.begin(), stretches.end(),
              [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
    for (const Extent& s : stretches) {
        if (s.length > 0 && !mapStretch(dirFd, device, s.offset, s.end(), map)) {
            return std::nullopt;
        }
    }
    return map;
}

DeviceHandle DriveDevices::open(unsigned major, unsigned minor) {
    const dev_t wanted = makedev(major, minor);
    // udev's link by number first, then the kernel's name; either must be that very device.
    std::string path = "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != wanted) {
        const std::string name = sysBlockName(major, minor);
        if (name.empty()) {
            throw RuntimeError(Err::DeviceUnavailable, ErrorDescription(Err::DeviceUnavailable),
                               "the file system's device has no name in /sys", path);
        }
        path = "/dev/" + name;
    }
    Device d;
    d.path = path;
    d.fd.reset(::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
    if (!d.fd) {
        const int err = errno;
        const int number = errorNumberForErrno(err);
        throw RuntimeError(number, ErrorDescription(number),
                           std::string("the disk could not be opened (") + std::strerror(err) + ")",
                           path);
    }
    if (::fstat(d.fd.get(), &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != wanted) {
        throw RuntimeError(Err::DeviceUnavailable, ErrorDescription(Err::DeviceUnavailable),
                           "the device there is not the file system's", path);
    }
    struct statx sx {};
    if (::statx(d.fd.get(), "", AT_EMPTY_PATH, STATX_DIOALIGN, &sx) == 0 &&
        (sx.stx_mask & STATX_DIOALIGN) != 0 && sx.stx_dio_offset_align != 0 &&
        sx.stx_dio_mem_align != 0) {
        d.offsetAlign = sx.stx_dio_offset_align;
        d.memAlign = sx.stx_dio_mem_align;
    } else if (int sector = 0; ::ioctl(d.fd.get(), BLKSSZGET, &sector) == 0 && sector > 0) {
        d.offsetAlign = static_cast<std::uint32_t>(sector);
    }
    const DeviceHandle handle = nextFileHandle();
    const std::lock_guard<std::mutex> lock(mutex_);
    devices_.emplace(handle, std::move(d));
    return handle;
}

DriveDevices::Device& DriveDevices::find(DeviceHandle device) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = devices_.find(device);
    if (it == devices_.end()) Raise(Err::BadFileNameOrNumber);
    return it->second;
}

void DriveDevices::read(DeviceHandle device, std::uint64_t offset, char* buffer, std::size_t size) {
    Device& d = find(device);
    // Straight into the caller's buffer where everything is aligned (the read-back's chunks
    // are); otherwise through an aligned buffer of the covering range.
    std::uint64_t from = offset;
    std::size_t length = size;
    char* into = buffer;
    std::unique_ptr<char, decltype(&std::free)> bounce(nullptr, &std::free);
    if (!aligned(offset, d.offsetAlign) || !aligned(size, d.offsetAlign) ||
        !aligned(reinterpret_cast<std::uintptr_t>(buffer), d.memAlign)) {
        from = offset / d.offsetAlign * d.offsetAlign;
        const std::uint64_t to =
            (offset + size + d.offsetAlign - 1) / d.offsetAlign * d.offsetAlign;
        length = static_cast<std::size_t>(to - from);
        const std::size_t alignment = std::max<std::size_t>(d.memAlign, alignof(void*));
        bounce.reset(static_cast<char*>(std::aligned_alloc(alignment, length)));
        if (!bounce) Raise(Err::OutOfMemory);
        into = bounce.get();
    }
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(d.fd.get(), into + done, length - done, static_cast<off_t>(from + done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // The device ended before the stretch did: nothing a file system maps lies there.
        raiseErrno(n == 0 ? EIO : errno, d.path);
    }
    if (bounce) std::memcpy(buffer, bounce.get() + (offset - from), size);
}

void DriveDevices::flush(DeviceHandle device) {
    Device& d = find(device);
    if (::ioctl(d.fd.get(), BLKFLSBUF, 0) != 0) raiseErrno(errno, d.path);
}

void DriveDevices::close(DeviceHandle device) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (devices_.erase(device) == 0) Raise(Err::BadFileNameOrNumber);
}

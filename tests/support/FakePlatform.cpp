// The in-memory Platform used by the window object's tests.
#include "tests/support/FakePlatform.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "platform/FillGeometry.h"
#include "platform/Wildcard.h"
#include "runtime/RuntimeError.h"

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

namespace {

std::string dirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

FakePlatform::FakePlatform() = default;

FakePlatform::Volume& FakePlatform::addVolume(const std::string& root, std::uint64_t freeBytes,
                                              DriveType type, const std::string& display) {
    Volume v;
    v.display = display.empty() ? root.substr(0, 2) + " /fake/" + root.substr(0, 1) : display;
    v.type = type;
    v.freeBytes = freeBytes;
    v.facts.mountPoint = v.display.size() > 3 ? v.display.substr(3) : "";
    v.facts.fsType = "fakefs";
    v.facts.device = "/dev/fake" + root.substr(0, 1);
    v.facts.disk = "fake" + root.substr(0, 1);
    v.facts.mounted = true;
    volumes[root] = v;
    if (std::find(driveOrder.begin(), driveOrder.end(), root) == driveOrder.end()) {
        driveOrder.push_back(root);
    }
    return volumes[root];
}

std::string FakePlatform::errLog() const {
    const auto it = hostFiles.find((stateDir.empty() ? programDir : stateDir) + "/ErrLog.txt");
    return it == hostFiles.end() ? std::string() : it->second;
}

std::vector<std::string> FakePlatform::errLogLines() const {
    std::vector<std::string> lines;
    const std::string log = errLog();
    std::size_t start = 0;
    while (start < log.size()) {
        const auto end = log.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(log.substr(start));
            break;
        }
        lines.push_back(log.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string FakePlatform::registryVersionNumber() {
    if (!versionNumber) Raise(Err::FileNotFound);
    return *versionNumber;
}

std::optional<std::string> FakePlatform::environment(const std::string& name) {
    const auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
}

double FakePlatform::secondsSinceMidnight() {
    const double now = clock;
    clock += clockStep;
    monotonic += clockStep;
    if (clock >= 86400.0) clock -= 86400.0;
    return now;
}

void FakePlatform::sleepFor(double seconds) {
    slept += seconds;
    clock += seconds;
    monotonic += seconds;
    if (clock >= 86400.0) clock -= 86400.0;
}

std::vector<std::string> FakePlatform::driveList() {
    std::vector<std::string> list;
    for (const auto& root : driveOrder)
        list.push_back(volumes.at(root).display);
    return list;
}

DriveType FakePlatform::driveType(const std::string& root) {
    const auto it = volumes.find(root);
    return it == volumes.end() ? DRIVE_NO_ROOT_DIR : it->second.type;
}

bool FakePlatform::diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) {
    ++extendedProbes;
    const auto it = volumes.find(root);
    if (it == volumes.end() || it->second.extendedProbeFails) return false;
    totalFreeBytes = it->second.freeBytes;
    return true;
}

bool FakePlatform::diskFreeSpace(const std::string& root, std::int32_t& sectorsPerCluster,
                                 std::int32_t& bytesPerSector, std::int32_t& freeClusters) {
    ++classicProbes;
    const auto it = volumes.find(root);
    if (it == volumes.end() || it->second.classicProbeFails) return false;
    sectorsPerCluster = 1;
    bytesPerSector = 512;
    const std::uint64_t clusters = it->second.freeBytes / 512;
    freeClusters = static_cast<std::int32_t>(std::min<std::uint64_t>(clusters, 0x7FFFFFFF));
    return true;
}

bool FakePlatform::mayCreateFiles(const std::string& root) {
    const auto it = volumes.find(root);
    return it != volumes.end() && it->second.writable;
}

DriveFacts FakePlatform::driveFacts(const std::string& root) {
    factsAsked.push_back(root);
    const auto it = volumes.find(root);
    return it == volumes.end() ? DriveFacts{} : it->second.facts;
}

std::optional<std::int64_t> FakePlatform::systemSwapFile(const std::string& path) {
    const auto it = swapFiles.find(path);
    if (it == swapFiles.end()) return std::nullopt;
    return it->second;
}

bool FakePlatform::splitDrivePath(const std::string& path, std::string& root, std::string& name) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return false;
    root = path.substr(0, 3);
    name = path.substr(3);
    return true;
}

FakePlatform::Volume* FakePlatform::volumeOf(const std::string& path, std::string& name) {
    std::string root;
    if (!splitDrivePath(path, root, name)) return nullptr;
    const auto it = volumes.find(root);
    return it == volumes.end() ? nullptr : &it->second;
}

bool FakePlatform::hostDirReadOnly(const std::string& path) const {
    return readOnlyHostDirs.count(dirOf(path)) != 0;
}

FillHandle FakePlatform::createFillFile(const std::string& path, FillKind kind) {
    std::string name;
    Volume* v = volumeOf(path, name);
    if (v == nullptr) Raise(Err::PathNotFound);
    // As on the real platform, fill files are written to fixed disks only.
    if (v->type != DRIVE_FIXED) Raise(Err::DeviceUnavailable);
    if (failCreate.count(path) != 0) Raise(Err::PermissionDenied);
    if (const auto it = refusedCreate.find(path); it != refusedCreate.end()) {
        throw RuntimeError(Err::FileAlreadyExists, "File already exists", it->second, path);
    }
    // Creating replaces an existing file and gives its bytes back.
    if (const auto it = v->files.find(name); it != v->files.end()) {
        v->freeBytes += static_cast<std::uint64_t>(it->second);
        it->second = 0;
    } else {
        v->files[name] = 0;
    }
    // A pass's space is the one the pass before it freed: its bulk file lies where that one's
    // did, and the earlier writes are forgotten (only a pass's own are read back; the blocks
    // they came from may be gone by now).
    if (kind == FillKind::Bulk) {
        v->cursor = v->deviceBase;
        v->device.clear();
    }
    v->fileExtents[name].clear();
    const FillHandle h = next_++;
    fills[h] = OpenFill{path, kind, true};
    return h;
}

void FakePlatform::writeFill(FillHandle file, std::string_view data) {
    const auto it = fills.find(file);
    if (it == fills.end() || !it->second.open) Raise(Err::BadFileNameOrNumber);
    std::string name;
    Volume* v = volumeOf(it->second.path, name);
    if (v == nullptr) Raise(Err::DeviceUnavailable);
    if (v->writeErrorAfter) {
        if (*v->writeErrorAfter < data.size()) Raise(v->writeError);
        *v->writeErrorAfter -= data.size();
    }
    std::uint64_t room = v->freeBytes;
    if (v->diskFullAfter) room = std::min(room, *v->diskFullAfter);
    const std::uint64_t n = std::min<std::uint64_t>(room, data.size());
    v->freeBytes -= n;
    if (v->diskFullAfter) *v->diskFullAfter -= n;
    // What landed lies next on the device, a piece of the file's own.
    std::vector<FileExtent>& extents = v->fileExtents[name];
    const auto logical = static_cast<std::uint64_t>(v->files[name]);
    if (!extents.empty() && extents.back().physical + extents.back().length == v->cursor) {
        extents.back().length += n;
    } else if (n > 0) {
        extents.push_back({logical, v->cursor, n, true});
    }
    if (n > 0) v->device.push_back({{v->cursor, n}, data.data(), 0});
    v->cursor += n;
    v->files[name] += static_cast<std::int64_t>(n);
    if (n < data.size()) Raise(Err::DiskFull);
    writes.push_back(Write{it->second.path, data.size(), data.data()});
}

void FakePlatform::closeFill(FillHandle file) {
    const auto it = fills.find(file);
    if (it == fills.end() || !it->second.open) Raise(Err::BadFileNameOrNumber);
    it->second.open = false;
    closedFills.insert(file);
    if (it->second.kind == FillKind::Bulk) {
        // The bulk file vanishes when it is closed and gives its space back.
        std::string name;
        if (Volume* v = volumeOf(it->second.path, name)) {
            if (const auto f = v->files.find(name); f != v->files.end()) {
                v->freeBytes += static_cast<std::uint64_t>(f->second);
                v->files.erase(f);
            }
            release(*v, name);
        }
    }
    if (failClose.count(it->second.path) != 0) Raise(57);
}

FillMode FakePlatform::fillMode(FillHandle file) {
    const auto it = fills.find(file);
    if (it == fills.end()) Raise(Err::BadFileNameOrNumber);
    return it->second.kind == FillKind::Bulk ? FillMode::Direct : FillMode::Buffered;
}

NamesFacts FakePlatform::namesFacts(const std::string& root) {
    std::string name;
    Volume* v = volumeOf(root, name);
    if (v == nullptr) Raise(Err::PathNotFound);
    if (!v->names) {
        NamesFacts none;
        none.reason = "fakefs keeps no journal";
        return none;
    }
    NamesFacts facts = *v->names;
    for (const auto& [handle, dir] : namesDirs) {
        if (dir.open && dir.root == root && dir.files > 0)
            facts.freedInodeSlots = v->slotsOutOfReach;
    }
    return facts;
}

NamesHandle FakePlatform::openNamesDirectory(const std::string& root) {
    std::string name;
    Volume* v = volumeOf(root, name);
    if (v == nullptr) Raise(Err::PathNotFound);
    if (const auto it = refusedNames.find(root); it != refusedNames.end()) {
        throw RuntimeError(Err::FileAlreadyExists, "File already exists", it->second, root);
    }
    v->namesLeftover = false;  // a leftover of its own is removed first
    const NamesHandle h = next_++;
    namesDirs[h] = NamesDir{root};
    return h;
}

FakePlatform::NamesDir& FakePlatform::namesDir(NamesHandle dir) {
    const auto it = namesDirs.find(dir);
    if (it == namesDirs.end() || !it->second.open) Raise(Err::BadFileNameOrNumber);
    return it->second;
}

std::int64_t FakePlatform::addNamesFiles(NamesHandle dir, std::int64_t count) {
    NamesDir& d = namesDir(dir);
    const std::int64_t n =
        std::max<std::int64_t>(std::min(count, volumes.at(d.root).namesRoom - d.files), 0);
    d.files += n;
    d.changed += n;
    return n;
}

void FakePlatform::touchNamesFiles(NamesHandle dir, std::int64_t first, std::int64_t count) {
    NamesDir& d = namesDir(dir);
    const std::int64_t n = std::max<std::int64_t>(std::min(first + count, d.files) - first, 0);
    d.touches += n;
    d.changed += n;
}

std::uint64_t FakePlatform::syncNames(NamesHandle dir) {
    NamesDir& d = namesDir(dir);
    if (failNamesSync.count(d.root) != 0) Raise(57);
    const Volume& v = volumes.at(d.root);
    d.rewritten += static_cast<std::uint64_t>(d.changed) * (v.names ? v.names->bytesPerFile : 0);
    d.changed = 0;
    ++d.syncs;
    return d.rewritten;
}

void FakePlatform::closeNamesDirectory(NamesHandle dir) {
    namesDir(dir).open = false;
}

bool FakePlatform::namesLeftover(const std::string& root) {
    std::string name;
    const Volume* v = volumeOf(root, name);
    return v != nullptr && v->namesLeftover;
}

void FakePlatform::removeNamesLeftover(const std::string& root) {
    std::string name;
    Volume* v = volumeOf(root, name);
    if (v == nullptr) return;
    // A stage's directory still in use is on the disk as well.
    bool there = v->namesLeftover;
    for (auto& [handle, dir] : namesDirs) {
        if (dir.root == root && dir.open) there = true;
    }
    if (!there) return;
    v->namesLeftover = false;
    deleted.push_back(root + kNamesDirectory);
}

std::optional<std::vector<FileExtent>> FakePlatform::fillExtents(FillHandle file) {
    const auto it = fills.find(file);
    if (it == fills.end() || !it->second.open) Raise(Err::BadFileNameOrNumber);
    std::string name;
    Volume* v = volumeOf(it->second.path, name);
    if (v == nullptr) Raise(Err::DeviceUnavailable);
    if (!v->tellsExtents) return std::nullopt;
    return v->fileExtents[name];
}

void FakePlatform::release(Volume& v, const std::string& name) {
    const auto it = v.fileExtents.find(name);
    if (it == v.fileExtents.end()) return;
    if (v.releaseAfterMaps > 0) {
        for (const FileExtent& e : it->second)
            v.releasing.push_back({{e.physical, e.length}, v.releaseAfterMaps});
    }
    v.fileExtents.erase(it);
}

std::optional<SpaceMap> FakePlatform::spaceMap(const std::string& root,
                                               const std::vector<Extent>& within) {
    const auto it = volumes.find(root);
    if (it == volumes.end() || !it->second.keepsMap) return std::nullopt;
    Volume& v = it->second;
    // Blocks still being released count as held, and the release goes on.
    std::vector<Extent> unreleased;
    for (auto& [extent, maps] : v.releasing) {
        if (maps-- > 0) unreleased.push_back(extent);
    }
    std::erase_if(v.releasing, [](const auto& r) { return r.second < 0; });
    // The file system's own below the base; above it the fill files and other files where
    // they lie, and free space up to what the volume holds.
    std::uint64_t held = 0;
    std::vector<Extent> files = v.takenByFiles;
    files.insert(files.end(), unreleased.begin(), unreleased.end());
    for (const auto& [name, extents] : v.fileExtents) {
        for (const FileExtent& e : extents) {
            files.push_back({e.physical, e.length});
            held += e.length;
        }
    }
    std::sort(files.begin(), files.end(),
              [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
    SpaceMap whole{{{0, v.deviceBase}, SpaceOwner::Metadata}};
    std::uint64_t at = v.deviceBase;
    const std::uint64_t end = v.deviceBase + v.freeBytes + held;
    for (const Extent& f : files) {
        if (f.offset > at) whole.push_back({{at, f.offset - at}, SpaceOwner::Free});
        whole.push_back({f, SpaceOwner::File});
        at = std::max(at, f.end());
    }
    if (end > at) whole.push_back({{at, end - at}, SpaceOwner::Free});
    if (within.empty()) return whole;
    SpaceMap clipped;
    for (const Extent& w : within) {
        for (const SpaceExtent& piece : whole) {
            const std::uint64_t from = std::max(w.offset, piece.extent.offset);
            const std::uint64_t to = std::min(w.end(), piece.extent.end());
            if (to > from) clipped.push_back({{from, to - from}, piece.owner});
        }
    }
    return clipped;
}

void FakePlatform::syncDrive(const std::string& root) {
    ++volume(root).syncs;
}

DeviceHandle FakePlatform::openDevice(const std::string& root) {
    const auto it = volumes.find(root);
    if (it == volumes.end()) Raise(Err::DeviceUnavailable);
    if (!it->second.unreadableDevice.empty()) {
        throw RuntimeError(Err::PermissionDenied, "Permission denied", it->second.unreadableDevice,
                           root);
    }
    const DeviceHandle h = next_++;
    devices_[h] = root;
    return h;
}

void FakePlatform::readDevice(DeviceHandle device, std::uint64_t offset, char* buffer,
                              std::size_t size) {
    const auto it = devices_.find(device);
    if (it == devices_.end()) Raise(Err::BadFileNameOrNumber);
    Volume& v = volume(it->second);
    ++v.reads;
    std::fill(buffer, buffer + size, kOldContent);
    for (const Volume::DeviceWrite& w : v.device) {
        const std::uint64_t from = std::max(offset, w.extent.offset);
        const std::uint64_t to = std::min(offset + size, w.extent.end());
        if (to <= from) continue;
        char* into = buffer + (from - offset);
        if (w.data != nullptr) {
            std::copy_n(w.data + (from - w.extent.offset), to - from, into);
        } else {
            std::fill_n(into, to - from, w.byte);
        }
    }
}

void FakePlatform::flushDevice(DeviceHandle device) {
    const auto it = devices_.find(device);
    if (it == devices_.end()) Raise(Err::BadFileNameOrNumber);
    Volume& v = volume(it->second);
    if (v.flushFails) Raise(Err::PermissionDenied);
    ++v.flushes;
}

void FakePlatform::closeDevice(DeviceHandle device) {
    if (devices_.erase(device) == 0) Raise(Err::BadFileNameOrNumber);
}

void FakePlatform::writeDevice(const std::string& root, Extent where, char byte) {
    volume(root).device.push_back({where, nullptr, byte});
}

bool FakePlatform::fileExists(const std::string& path) {
    std::string name;
    if (Volume* v = volumeOf(path, name)) {
        for (const auto& [file, length] : v->files) {
            if (v->hiddenFiles.count(file) == 0 && wildcardMatch(name, file)) return true;
        }
        return false;
    }
    const std::string dir = dirOf(path);
    const std::string pattern = path.substr(dir.size() + 1);
    for (const auto& [file, content] : hostFiles) {
        if (dirOf(file) == dir && wildcardMatch(pattern, file.substr(dir.size() + 1))) return true;
    }
    return false;
}

std::int64_t FakePlatform::fileLength(const std::string& path) {
    std::string name;
    if (Volume* v = volumeOf(path, name)) {
        const auto it = v->files.find(name);
        if (it == v->files.end()) Raise(Err::FileNotFound);
        return it->second;
    }
    const auto it = hostFiles.find(path);
    if (it == hostFiles.end()) Raise(Err::FileNotFound);
    return static_cast<std::int64_t>(it->second.size());
}

void FakePlatform::deleteFile(const std::string& path) {
    std::string name;
    if (Volume* v = volumeOf(path, name)) {
        if (failDelete.count(path) != 0) Raise(Err::PermissionDenied);
        const auto it = v->files.find(name);
        if (it == v->files.end()) Raise(Err::FileNotFound);
        v->freeBytes += static_cast<std::uint64_t>(it->second);
        v->files.erase(it);
        release(*v, name);
        deleted.push_back(path);
        return;
    }
    if (hostDirReadOnly(path)) Raise(Err::PermissionDenied);
    if (hostFiles.erase(path) == 0) Raise(Err::FileNotFound);
}

bool FakePlatform::shellDeleteFile(const std::string& path) noexcept {
    if (failShellDelete.count(path) != 0) return false;
    try {
        deleteFile(path);
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

void FakePlatform::deleteMatching(const std::string& pattern) {
    std::string name;
    if (Volume* v = volumeOf(pattern, name)) {
        std::vector<std::string> doomed;
        for (const auto& [file, length] : v->files) {
            if (wildcardMatch(name, file)) doomed.push_back(pattern.substr(0, 3) + file);
        }
        if (doomed.empty()) Raise(Err::FileNotFound);
        for (const auto& path : doomed)
            deleteFile(path);
        return;
    }
    const std::string dir = dirOf(pattern);
    const std::string namePattern = pattern.substr(dir.size() + 1);
    std::vector<std::string> doomed;
    for (const auto& [file, content] : hostFiles) {
        if (dirOf(file) == dir && wildcardMatch(namePattern, file.substr(dir.size() + 1))) {
            doomed.push_back(file);
        }
    }
    if (doomed.empty()) Raise(Err::FileNotFound);
    for (const auto& path : doomed)
        deleteFile(path);
}

void FakePlatform::writeNewFile(const std::string& path, std::string_view bytes) {
    if (hostDirReadOnly(path)) Raise(Err::PermissionDenied);
    hostFiles[path] = std::string(bytes);
}

TextHandle FakePlatform::openText(const std::string& path, TextMode mode) {
    if (mode == TextMode::Input) {
        if (hostFiles.count(path) == 0) Raise(Err::FileNotFound);
        if (unreadableHostFiles.count(path) != 0) Raise(Err::PermissionDenied);
    } else {
        if (hostDirReadOnly(path)) Raise(Err::PermissionDenied);
        if (mode == TextMode::Output || hostFiles.count(path) == 0) hostFiles[path].clear();
    }
    const TextHandle h = next_++;
    texts_[h] = Text{path, mode, 0};
    return h;
}

void FakePlatform::writeLine(TextHandle file, std::string_view line) {
    const auto it = texts_.find(file);
    if (it == texts_.end() || it->second.mode == TextMode::Input) Raise(Err::BadFileNameOrNumber);
    std::string& content = hostFiles[it->second.path];
    content.append(line);
    content.append("\r\n");
}

std::string FakePlatform::readLine(TextHandle file) {
    const auto it = texts_.find(file);
    if (it == texts_.end() || it->second.mode != TextMode::Input) Raise(Err::BadFileNameOrNumber);
    const std::string& content = hostFiles[it->second.path];
    Text& t = it->second;
    if (t.pos >= content.size()) Raise(Err::InputPastEndOfFile);
    auto end = content.find('\n', t.pos);
    std::string line;
    if (end == std::string::npos) {
        line = content.substr(t.pos);
        t.pos = content.size();
    } else {
        line = content.substr(t.pos, end - t.pos);
        t.pos = end + 1;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool FakePlatform::atEnd(TextHandle file) {
    const auto it = texts_.find(file);
    if (it == texts_.end()) Raise(Err::BadFileNameOrNumber);
    if (it->second.mode != TextMode::Input) return true;
    return it->second.pos >= hostFiles[it->second.path].size();
}

void FakePlatform::closeText(TextHandle file) {
    if (texts_.erase(file) == 0) Raise(Err::BadFileNameOrNumber);
}

void FakePlatform::closeAllText() {
    texts_.clear();
}

void FakePlatform::appendLine(const std::string& path, std::string_view line) {
    if (hostDirReadOnly(path)) Raise(Err::PermissionDenied);
    std::string& content = hostFiles[path];
    content.append(line);
    content.push_back('\n');
}

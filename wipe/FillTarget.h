// The slice of the platform that a fill needs: what a drive is and how much of it is free, fill
// files to create, write and close, deleting what a pass leaves, reading back from the drive's
// device what a pass wrote, the names stage's directory, and a clock for its pauses. The engine
// reaches the disks through nothing else, so that its tests can run it on a fake.
//
// Several drives may fill at once, each on a thread of its own: an implementation takes calls for
// different drives, and for different fill files, from different threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

class FillTarget {
public:
    virtual ~FillTarget();

    // --- what a drive is and what it has free (drive paths, as Platform takes them) ---
    virtual DriveFacts driveFacts(const std::string& root) = 0;
    virtual bool diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) = 0;
    virtual bool diskFreeSpace(const std::string& root, std::int32_t& sectorsPerCluster,
                               std::int32_t& bytesPerSector, std::int32_t& freeClusters) = 0;
    virtual std::optional<std::int64_t> systemSwapFile(const std::string& path) = 0;

    // --- fill files ---
    virtual FillHandle createFillFile(const std::string& path, FillKind kind) = 0;
    virtual void writeFill(FillHandle file, std::string_view data) = 0;
    virtual void closeFill(FillHandle file) = 0;
    virtual bool fileExists(const std::string& path) = 0;
    virtual void deleteFile(const std::string& path) = 0;
    virtual bool shellDeleteFile(const std::string& path) noexcept = 0;

    // --- the names stage (Platform tells what each does) ---
    virtual NamesFacts namesFacts(const std::string& root) = 0;
    virtual NamesHandle openNamesDirectory(const std::string& root) = 0;
    virtual std::int64_t addNamesFiles(NamesHandle dir, std::int64_t count) = 0;
    virtual void touchNamesFiles(NamesHandle dir, std::int64_t first, std::int64_t count) = 0;
    virtual std::uint64_t syncNames(NamesHandle dir) = 0;
    virtual void closeNamesDirectory(NamesHandle dir) = 0;
    virtual bool namesLeftover(const std::string& root) = 0;
    virtual void removeNamesLeftover(const std::string& root) = 0;
    // --- reading back (Platform has the details) ---
    virtual std::optional<std::vector<FileExtent>> fillExtents(FillHandle file) = 0;
    virtual std::optional<SpaceMap> spaceMap(const std::string& root,
                                             const std::vector<Extent>& within) = 0;
    virtual void syncDrive(const std::string& root) = 0;
    virtual DeviceHandle openDevice(const std::string& root) = 0;
    virtual void readDevice(DeviceHandle device, std::uint64_t offset, char* buffer,
                            std::size_t size) = 0;
    virtual void flushDevice(DeviceHandle device) = 0;
    virtual void closeDevice(DeviceHandle device) = 0;

    // --- clock ---
    virtual double secondsSinceMidnight() = 0;
    virtual void sleepFor(double seconds) = 0;
    virtual double monotonicSeconds() = 0;
};

// The platform as a fill target: every call goes to the platform as it is.
class PlatformTarget : public FillTarget {
public:
    explicit PlatformTarget(Platform& platform) : p_(platform) {}

    DriveFacts driveFacts(const std::string& root) override { return p_.driveFacts(root); }
    bool diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) override {
        return p_.diskFreeSpaceEx(root, totalFreeBytes);
    }
    bool diskFreeSpace(const std::string& root, std::int32_t& sectorsPerCluster,
                       std::int32_t& bytesPerSector, std::int32_t& freeClusters) override {
        return p_.diskFreeSpace(root, sectorsPerCluster, bytesPerSector, freeClusters);
    }
    std::optional<std::int64_t> systemSwapFile(const std::string& path) override {
        return p_.systemSwapFile(path);
    }
    FillHandle createFillFile(const std::string& path, FillKind kind) override {
        return p_.createFillFile(path, kind);
    }
    void writeFill(FillHandle file, std::string_view data) override { p_.writeFill(file, data); }
    void closeFill(FillHandle file) override { p_.closeFill(file); }
    bool fileExists(const std::string& path) override { return p_.fileExists(path); }
    void deleteFile(const std::string& path) override { p_.deleteFile(path); }
    bool shellDeleteFile(const std::string& path) noexcept override {
        return p_.shellDeleteFile(path);
    }
    NamesFacts namesFacts(const std::string& root) override { return p_.namesFacts(root); }
    NamesHandle openNamesDirectory(const std::string& root) override {
        return p_.openNamesDirectory(root);
    }
    std::int64_t addNamesFiles(NamesHandle dir, std::int64_t count) override {
        return p_.addNamesFiles(dir, count);
    }
    void touchNamesFiles(NamesHandle dir, std::int64_t first, std::int64_t count) override {
        p_.touchNamesFiles(dir, first, count);
    }
    std::uint64_t syncNames(NamesHandle dir) override { return p_.syncNames(dir); }
    void closeNamesDirectory(NamesHandle dir) override { p_.closeNamesDirectory(dir); }
    bool namesLeftover(const std::string& root) override { return p_.namesLeftover(root); }
    void removeNamesLeftover(const std::string& root) override { p_.removeNamesLeftover(root); }
    std::optional<std::vector<FileExtent>> fillExtents(FillHandle file) override {
        return p_.fillExtents(file);
    }
    std::optional<SpaceMap> spaceMap(const std::string& root,
                                     const std::vector<Extent>& within) override {
        return p_.spaceMap(root, within);
    }
    void syncDrive(const std::string& root) override { p_.syncDrive(root); }
    DeviceHandle openDevice(const std::string& root) override { return p_.openDevice(root); }
    void readDevice(DeviceHandle device, std::uint64_t offset, char* buffer,
                    std::size_t size) override {
        p_.readDevice(device, offset, buffer, size);
    }
    void flushDevice(DeviceHandle device) override { p_.flushDevice(device); }
    void closeDevice(DeviceHandle device) override { p_.closeDevice(device); }
    double secondsSinceMidnight() override { return p_.secondsSinceMidnight(); }
    void sleepFor(double seconds) override { p_.sleepFor(seconds); }
    double monotonicSeconds() override { return p_.monotonicSeconds(); }

private:
    Platform& p_;
};

// A small file system of the test's own: an image file, formatted and loop-mounted in the test
// process's private mount namespace, removed again when the object goes. Needs root; tests that
// use it skip with the reason from skipReason() without it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class LoopImage {
public:
    struct Options {
        std::string fsType = "ext4";  // or "xfs", "btrfs", "ntfs" (through FUSE, ntfs-3g)
        std::uint64_t sizeMiB = 64;
        unsigned sectorSize = 512;     // the loop device's logical sector size
        std::string mkfsOptions = "";  // more options for mkfs ("-O inline_data")
    };

    // Moves this process into a mount namespace of its own (root only; otherwise nothing).
    static void enterPrivateMountNamespace();
    // Empty when this process can make and mount images; otherwise why not.
    static std::string skipReason();

    explicit LoopImage(const Options& options);
    LoopImage(const LoopImage&) = delete;
    LoopImage& operator=(const LoopImage&) = delete;
    ~LoopImage();

    // False when making or mounting the image failed; error() says why.
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const std::string& mountPoint() const { return mountPoint_; }
    const std::string& imagePath() const { return image_; }
    const std::string& workDir() const { return dir_; }
    // The loop device, e.g. "/dev/loop3".
    const std::string& device() const { return device_; }

    // True only while mountPoint() is a mount of this image's own device (checked anew).
    bool verified() const;
    // Unmounts (and detaches) so that the raw image can be read; idempotent.
    void unmount();
    // Attaches and mounts the image again after unmount(); false (with error()) on failure.
    bool remount();
    // Writes files of the marker byte pattern until the file system is full, syncs and deletes
    // them: the free space then holds the marker.
    void fillWithMarker(const std::string& marker) const;
    // Writes a file of the given number of 4096-byte blocks, each beginning with the marker,
    // syncs and deletes it: the data of a deleted file lies in the free space. False on failure.
    bool writeAndDeleteMarkerFile(const std::string& marker, int blocks) const;
    // Number of 4096-byte blocks of the raw image that begin with the marker.
    std::uint64_t markerBlocks(const std::string& marker) const;
    // Free blocks of the mounted file system, after a sync.
    std::uint64_t freeBlocks() const;
    // The names of the fill files (*.qlk) in the mount's top directory.
    std::vector<std::string> fillFiles() const;

    // Runs a shell command; returns its exit status.
    static int run(const std::string& command);

private:
    void attachAndMount();

    Options options_;
    bool ok_ = false;
    bool mounted_ = false;
    std::string error_, dir_, image_, mountPoint_, device_;
};

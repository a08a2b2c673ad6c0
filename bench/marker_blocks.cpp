// A small tool for the benchmark and the end-to-end checks: fills a directory's file system with
// a marker pattern (every 4096-byte block starts with the marker) and counts the blocks of a raw
// image that still begin with it.
//
//   marker_blocks fill <directory> <marker>   writes marker files until the disk is full, syncs,
//                                             deletes them
//   marker_blocks count <image> <marker>      prints the number of 4096-byte blocks that begin
//                                             with the marker
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlock = 4096;

int fill(const std::string& dir, const std::string& marker) {
    std::vector<char> chunk(1 << 20);
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>('a' + i % 26);
    for (std::size_t i = 0; i < chunk.size(); i += kBlock) {
        std::memcpy(chunk.data() + i, marker.data(), marker.size());
    }
    std::vector<std::string> made;
    for (int n = 0; n < 64; ++n) {
        const std::string path = dir + "/marker-fill-" + std::to_string(n);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) break;
        made.push_back(path);
        off_t written = 0;
        // Large writes first, then single blocks to take the last free blocks.
        for (std::size_t size : {chunk.size(), kBlock}) {
            for (;;) {
                const ssize_t w = write(fd, chunk.data(), size);
                if (w <= 0) break;
                written += w;
            }
        }
        fsync(fd);
        close(fd);
        if (written == 0) break;
    }
    sync();
    for (const auto& path : made)
        unlink(path.c_str());
    sync();
    return 0;
}

int count(const std::string& image, const std::string& marker) {
    FILE* f = std::fopen(image.c_str(), "rb");
    if (f == nullptr) {
        std::perror(image.c_str());
        return 1;
    }
    std::vector<char> block(kBlock);
    unsigned long long n = 0;
    while (std::fread(block.data(), 1, kBlock, f) == kBlock) {
        if (std::memcmp(block.data(), marker.data(), marker.size()) == 0) ++n;
    }
    std::fclose(f);
    std::printf("%llu\n", n);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::strlen(argv[3]) == 0 || std::strlen(argv[3]) > kBlock) {
        std::fprintf(stderr,
                     "usage: marker_blocks fill <directory> <marker> | count <image> <marker>\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "fill") return fill(argv[2], argv[3]);
    if (mode == "count") return count(argv[2], argv[3]);
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
}

// Handle numbers for the platform's open files, unique across fill and text files.
#pragma once

#include <atomic>
#include <cstdint>

inline std::int64_t nextFileHandle() {
    static std::atomic<std::int64_t> next{1};
    return next++;
}

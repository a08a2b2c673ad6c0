// Handle numbers for the platform's open files, unique across fill and text files.
#pragma once

#include <atomic>

#include "platform/Platform.h"

inline FileHandle nextFileHandle() {
    static std::atomic<FileHandle> next{1};
    return next++;
}

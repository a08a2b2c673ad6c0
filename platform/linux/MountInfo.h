// The mount table of /proc/self/mountinfo as plain data, and the parser that reads it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct MountEntry {
    int mountId = 0;
    int parentId = 0;
    unsigned major = 0;  // the file system's device number as the kernel reports it
    unsigned minor = 0;
    std::string root;        // the directory of the file system that is mounted here
    std::string mountPoint;  // unescaped, relative to this process's root
    std::string mountOptions;
    std::string fsType;  // "ext4", "fuseblk", "fuse.sshfs" ...
    std::string source;  // "/dev/sda1", "server:/export", "tmpfs" ...
    std::string superOptions;
};

// Parses the text of /proc/self/mountinfo; lines that do not have the documented layout are
// skipped. Fields are unescaped (mountinfo writes blank, tab, line feed and backslash as \ooo).
std::vector<MountEntry> parseMountInfo(std::string_view text);

// Undoes the kernel's octal escapes ("\040" is a blank); other text is kept as it is.
std::string unescapeMountField(std::string_view field);

// Whether the mount or its file system is read-only.
bool isReadOnly(const MountEntry& entry);

// Whether a comma-separated option list holds the option (exactly, or as "name=value").
bool hasOption(std::string_view options, std::string_view name, std::string* value = nullptr);

// Sequential text files of the host (lines end in CR LF), as the run time's Open/Line Input/
// Print # know them.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/linux/UniqueFd.h"

// What root must prove of a file it writes for its records (docs/threat-model.md): the file's
// directory is reached without a symbolic link, and outside the state directory only a file the
// program made (that carries its mark, platform/linux/OwnMark.h) is appended to or replaced. New
// records are marked.
struct RecordGuard {
    bool strict = false;  // root: the rules above apply
    std::string token;    // the mark's; empty: nothing is marked or proven
    std::string stateDirectory;
};

class TextFiles {
public:
    TextHandle open(const std::string& path, TextMode mode, const RecordGuard& guard = {});
    void writeLine(TextHandle file, std::string_view line);
    // The next line without its CR LF (or lone LF); past the end raises 62.
    std::string readLine(TextHandle file);
    bool atEnd(TextHandle file);
    void close(TextHandle file);
    void closeAll() { files_.clear(); }
    // Appends line and a line feed to the file at path in one write, creating it when missing.
    static void appendLine(const std::string& path, std::string_view line,
                           const RecordGuard& guard = {});
    // Writes bytes to a file made anew at path (whatever had the name is replaced).
    static void writeAnew(const std::string& path, std::string_view bytes,
                          const RecordGuard& guard = {});

private:
    struct File {
        UniqueFd fd;
        TextMode mode = TextMode::Input;
        std::string buffer;
        std::size_t pos = 0;
    };
    File& find(TextHandle file);
    static bool refill(File& f);

    std::map<TextHandle, File> files_;
};

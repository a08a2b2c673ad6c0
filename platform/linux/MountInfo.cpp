// Parser of /proc/self/mountinfo.
#include "platform/linux/MountInfo.h"

#include <charconv>

namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size()) break;
        const std::size_t end = std::min(line.find(' ', pos), line.size());
        fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

template <class T>
bool toNumber(std::string_view text, T& out) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

}  // namespace

std::string unescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(value));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const auto fields = splitFields(text.substr(start, end - start));
        start = end + 1;

        // id parent major:minor root mount-point options [optional fields...] - type source super
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (fields.size() < 6 || dash + 2 >= fields.size()) continue;
        MountEntry e;
        const auto colon = fields[2].find(':');
        if (!toNumber(fields[0], e.mountId) || !toNumber(fields[1], e.parentId) ||
            colon == std::string_view::npos || !toNumber(fields[2].substr(0, colon), e.major) ||
            !toNumber(fields[2].substr(colon + 1), e.minor)) {
            continue;
        }
        e.root = unescapeMountField(fields[3]);
        e.mountPoint = unescapeMountField(fields[4]);
        e.mountOptions = std::string(fields[5]);
        e.fsType = unescapeMountField(fields[dash + 1]);
        e.source = unescapeMountField(fields[dash + 2]);
        if (dash + 3 < fields.size()) e.superOptions = unescapeMountField(fields[dash + 3]);
        entries.push_back(std::move(e));
    }
    return entries;
}

bool hasOption(std::string_view options, std::string_view name, std::string* value) {
    std::size_t pos = 0;
    while (pos <= options.size()) {
        const std::size_t end = std::min(options.find(',', pos), options.size());
        const std::string_view option = options.substr(pos, end - pos);
        if (option == name) {
            if (value != nullptr) value->clear();
            return true;
        }
        if (option.size() > name.size() && option.substr(0, name.size()) == name &&
            option[name.size()] == '=') {
            if (value != nullptr) *value = std::string(option.substr(name.size() + 1));
            return true;
        }
        pos = end + 1;
    }
    return false;
}

bool isReadOnly(const MountEntry& entry) {
    return hasOption(entry.mountOptions, "ro") || hasOption(entry.superOptions, "ro");
}

// Control characters of a name written as escapes.
#include "runtime/EscapedName.h"

#include <cstdint>

namespace {

void octal(std::string& out, unsigned char byte) {
    out += '\\';
    out += static_cast<char>('0' + (byte >> 6));
    out += static_cast<char>('0' + ((byte >> 3) & 7));
    out += static_cast<char>('0' + (byte & 7));
}

// The length of the UTF-8 sequence that starts at i, 0 when the bytes there are none.
std::size_t sequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and what lies beyond Unicode are no text.
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

}  // namespace

std::string EscapedName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\') out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n' || c == '\t' || c == '\r') {
            out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
            ++i;
        } else if (const std::size_t n = c >= 0x80 ? sequenceLength(name, i) : 0;
                   n > 0 &&
                   !(n == 2 && c == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0)) {
            out.append(name.substr(i, n));  // a character of any script, but no C1 control
            i += n;
        } else if (n == 2) {
            octal(out, c);  // a C1 control (U+0080 to U+009F): 8-bit terminals obey them
            octal(out, static_cast<unsigned char>(name[i + 1]));
            i += 2;
        } else {
            octal(out, c);
            ++i;
        }
    }
    return out;
}

// Helpers the start-up routines share: checked access to the drive boxes and the case-blind
// text handling of drive names and command-line options.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/RuntimeError.h"
#include "ui/frmQuellix.h"

// Drive box i; a box that does not exist raises 9 "Subscript out of range".
inline Control& DriveBox(frmQuellix& w, std::int32_t i) {
    if (i < 0 || static_cast<std::size_t>(i) >= w.chkDrive.size()) {
        Raise(Err::SubscriptOutOfRange);
    }
    return w.chkDrive[static_cast<std::size_t>(i)];
}

// Upper case of ASCII letters only: display texts are UTF-8 (mount points), and a byte-wise
// conversion in a single-byte locale would corrupt their other characters.
inline std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

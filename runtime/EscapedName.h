// Names that come from the system or from a caller (mount points, file names, device names,
// argument words) shown as data: a newline in a mount point must not start a new row of the
// drive table, nor an escape sequence reach a terminal.
#pragma once

#include <string>
#include <string_view>

// The name with its control characters written as escapes, as `ls -b` writes them: "\n", "\t",
// "\r", the other C0 and C1 controls and DEL as "\ooo", a backslash as "\\", and a byte that is
// no part of UTF-8 text as "\ooo" too. Letters of any script stay as they are. Two different
// names never give the same text.
std::string EscapedName(std::string_view name);

// Whether root may keep its records in a directory that somebody named for it (STATE_DIRECTORY,
// XDG_STATE_HOME, HOME in a root process's environment, which survive `sudo -E` and `su`): only
// when nobody else could have put anything there or could swap it for something else.
#pragma once

#include <string>

// Walks the absolute path from "/" one component at a time without following a symbolic link,
// making the missing directories (the last one 0700). Every directory on the way must belong to
// the effective user (root); one above the last may be writable by others only when it is sticky
// (/tmp), the last not at all. Returns why the directory is not safe, in words; empty when it is.
std::string makeOwnDirectory(const std::string& path);

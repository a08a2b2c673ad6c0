// Why a drive cannot be cleaned, in the words the drive table (--list) and the greyed drive
// boxes' tool tips share.
#pragma once

#include <functional>
#include <string>

#include "platform/Platform.h"

// Why the drive of a drive-list item cannot be cleaned: "removable", "network", "optical disc",
// "RAM disk", "not writable by this user", "not a mount point", "read-only" or "no local disk
// of its own"; empty when it can be cleaned. facts is asked only where the type does not tell,
// so that a network share that may not answer is never touched.
std::string WhyNotCleanable(Platform& p, const std::string& item, DriveType type,
                            const std::function<DriveFacts()>& facts);

// Why a drive cannot be cleaned.
#include "startup/DriveState.h"

std::string WhyNotCleanable(Platform& p, const std::string& item, DriveType type,
                            const std::function<DriveFacts()>& facts) {
    // An item that is only the letter and colon names no mount point.
    if (item.size() <= 2) return "not a mount point";
    switch (type) {
        case DRIVE_REMOVABLE:
            return "removable";
        case DRIVE_REMOTE:
            return "network";
        case DRIVE_CDROM:
            return "optical disc";
        case DRIVE_RAMDISK:
            return "RAM disk";
        case DRIVE_FIXED:
            return p.mayCreateFiles(item.substr(0, 2) + "\\") ? "" : "not writable by this user";
        default:
            break;
    }
    const DriveFacts known = facts();
    if (!known.mounted) return "not a mount point";
    return known.readOnly ? "read-only" : "no local disk of its own";
}

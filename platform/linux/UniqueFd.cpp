// Closing owned descriptors.
#include "platform/linux/UniqueFd.h"

#include <unistd.h>

void closeDescriptor(int fd) noexcept {
    ::close(fd);
}

// Platform is an interface; this file anchors its vtable in the platform library.
#include "platform/Platform.h"

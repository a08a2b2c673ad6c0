// Platform is an interface; its destructor, defined here, anchors its vtable in the platform
// library.
#include "platform/Platform.h"

Platform::~Platform() = default;

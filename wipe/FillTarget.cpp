// The one out-of-line member anchors the fill target's vtable here.
#include "wipe/FillTarget.h"

FillTarget::~FillTarget() = default;

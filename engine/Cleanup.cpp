// Stand-in until this routine is built.
#include "ui/frmQuellix.h"

void frmQuellix::Cleanup(const std::string&, bool) { DiskFull = false; }
void frmQuellix::Pause(std::int32_t) {}

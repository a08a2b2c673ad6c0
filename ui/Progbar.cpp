// Stand-in until this routine is built.
#include "ui/frmQuellix.h"

void frmQuellix::Progbar() { desktop().DoEvents(); }
void frmQuellix::UpdateCaption(std::int16_t&, std::int32_t&) {}

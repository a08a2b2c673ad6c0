// Stand-in until this routine is built.
#include "ui/frmQuellix.h"

void frmQuellix::Form_Load() {}

// Stand-in until this routine is built.
#include "ui/frmQuellix.h"

void frmQuellix::chkToolTip_Click() {}
void frmQuellix::cmdHelp_Click() {}

// Stand-in until the Qt view is built.
#include <QtGlobal>

int quellixViewPlaceholder() { return 0; }

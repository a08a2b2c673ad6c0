// The program's own artwork, drawn in code: the title banner, the broom logo and the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

// Bitmap resources by id: 101 the title banner (331 x 33), 102 the broom logo (49 x 24).
// An unknown id gives a null pixmap.
QPixmap quellixBitmap(int id);

// The program's icon at size x size pixels, drawn on a 48 x 48 grid and scaled: at 48 it is the
// window icon itself. The build draws the installed icons with it.
QPixmap quellixIconPixmap(int size);

// The window icon, drawn at 48 x 48 and at the smaller sizes window managers ask for.
QIcon quellixIcon();

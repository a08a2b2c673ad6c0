// The program's own artwork, drawn in code: the title banner, the broom logo and the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

// Bitmap resources by id: 101 the title banner (331 x 33), 102 the broom logo (49 x 24).
// An unknown id gives a null pixmap.
QPixmap quellixBitmap(int id);

// The window icon, drawn at 48 x 48 and at the smaller sizes window managers ask for.
QIcon quellixIcon();

// The program's own artwork, drawn in code: the title banner, the broom logo, the window icon, and
// the coverage picture of a drive.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

struct DriveAccount;

// Bitmap resources by id: 101 the title banner (331 x 33), 102 the broom logo (49 x 24).
// An unknown id gives a null pixmap.
QPixmap quellixBitmap(int id);

// The program's icon at size x size pixels, drawn on a 48 x 48 grid and scaled: at 48 it is the
// window icon itself. The build draws the installed icons with it.
QPixmap quellixIconPixmap(int size);

// The window icon, drawn at 48 x 48 and at the smaller sizes window managers ask for.
QIcon quellixIcon();

// A drive's coverage picture: its device as a strip of blocks, wrapped into rows, each stretch in
// the colour of what it held by the end of the last checked pass (in use, overwritten and read
// back as written, overwritten, not reached, not overwritten, discarded), with a legend. Where a
// stretch of the strip holds several states the one that tells of a shortfall shows. A null
// image when the drive's map is empty.
QImage quellixCoverageMap(const DriveAccount& drive);

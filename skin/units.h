#pragma once
// Dialog units. Control positions are given in the dialog units of
// "MS Shell Dlg" 8, whose base units at 96 DPI are 6 x 13 pixels: one horizontal
// unit is 1.5 px and one vertical unit 1.625 px. A rectangle is mapped corner by
// corner (each rounded to the nearest pixel) so that adjacent controls stay
// adjacent.
//
// The results are Qt's device-independent pixels; the window system multiplies
// them by the screen's device pixel ratio (a 192-DPI screen draws one
// horizontal unit as 3 device pixels). `dluDevice` gives device pixels directly
// for painting into images.

#include <QRect>
#include <QSize>

namespace pj::skin {

int dluX(int x); // horizontal units -> pixels
int dluY(int y); // vertical units -> pixels

QRect dlu(int x, int y, int w, int h);
QSize dluSize(int w, int h);

// The same rectangle in device pixels for a device pixel ratio.
QRect dluDevice(int x, int y, int w, int h, double devicePixelRatio);

} // namespace pj::skin

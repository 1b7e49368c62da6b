#pragma once
// How the pictures are made, one implementation per build: rendered from the
// SVG drawings (artwork_svg.cpp) or taken from PNG renderings made on the build
// machine (artwork_png.cpp). Used by artwork.cpp only.

#include "skin/artwork.h"

#include <QImage>

namespace pj::skin::detail {

// The picture `a` drawn `size` logical pixels large for `devicePixelRatio`,
// `device` pixels in all. A null image when the picture is missing.
QImage renderArt(Art a, QSize size, double devicePixelRatio, QSize device);

// Resource path of the picture at its designed size.
QString artSourcePath(Art a);

QIcon makeArtIcon(Art a);

} // namespace pj::skin::detail

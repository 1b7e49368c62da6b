#pragma once
// Centring a window on its screen. The difference between screen and window
// size is halved with the remainder dropped, so a window whose difference is
// odd has the extra pixel on its right (and below).

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace pj::skin {

// Top-left corner that centres a window of `window` size on `screen`.
QPoint centredPosition(const QRect& screen, const QSize& window);

// Moves top-level `w` (size unchanged) to the centre of the screen it is on,
// or of the primary screen before it has one.
void centreOnScreen(QWidget* w);

} // namespace pj::skin

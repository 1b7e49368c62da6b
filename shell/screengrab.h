#pragma once
// Takes a rectangle of the screen as the display shows it, into a PNG file,
// for pj-screenshots. One implementation per platform: ImageMagick's
// "import -window root" on X11 (screengrab_unix.cpp); the screen's own image
// through Qt on Windows (screengrab_win.cpp; under Wine the X display's).

#include <QRect>
#include <QString>

namespace pj::shell {

bool grabScreenArea(const QString& file, const QRect& area);

} // namespace pj::shell

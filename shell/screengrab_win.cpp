#include "shell/screengrab.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace pj::shell {

// The desktop's pixels (window 0), so the picture holds what the display
// shows, frames and all, not what the widgets would paint on their own.
bool grabScreenArea(const QString& file, const QRect& area) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return false;
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    return !shot.isNull() && shot.save(file, "PNG");
}

} // namespace pj::shell

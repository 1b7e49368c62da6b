#include "skin/centre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace pj::skin {

QPoint centredPosition(const QRect& screen, const QSize& window) {
    // Integer halving drops the remainder: an odd difference leaves the extra
    // pixel on the right and at the bottom.
    return {screen.x() + (screen.width() - window.width()) / 2,
            screen.y() + (screen.height() - window.height()) / 2};
}

void centreOnScreen(QWidget* w) {
    if (!w)
        return;
    QWidget* top = w->window();
    QScreen* screen = top->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    top->move(centredPosition(screen->geometry(), top->size()));
}

} // namespace pj::skin

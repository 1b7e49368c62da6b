#include "skin/setuppalette.h"

#include "skin/framepaint.h"

#include <QPainter>
#include <QWidget>

namespace pj::skin {

QPalette SetupPalette::widgetPalette(const QPalette& base, const QColor& fill) {
    QPalette p = base;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, fill);
        p.setColor(group, QPalette::Button, background());
    }
    return p;
}

void SetupPalette::apply(QWidget* w, const QColor& fill) {
    w->setPalette(widgetPalette(w->palette(), fill));
}

void paintSetupFrame(QPainter& p, const QRect& client) {
    p.fillRect(client, SetupPalette::background());
    // The raised edge of all four sides, with its top covered again: the top
    // side is left out.
    FramePaint::drawEdge(p, client, Edge::Raised);
    p.fillRect(QRect(client.left() + 2, client.top(), client.width() - 4, 2),
               SetupPalette::background());
}

} // namespace pj::skin

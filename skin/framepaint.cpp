#include "skin/framepaint.h"

#include "skin/palette.h"

#include <QPainter>

namespace pj::skin {

namespace {
// The classic 3-D colours: light, highlight, shadow, dark shadow.
const QColor kLight(227, 227, 227);
const QColor kHighlight(255, 255, 255);
const QColor kShadow(160, 160, 160);
const QColor kDarkShadow(105, 105, 105);

// One one-pixel ring: `topLeft` on the top and left sides, `bottomRight` on the
// bottom and right sides.
void ring(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    if (r.width() < 1 || r.height() < 1)
        return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}
} // namespace

QRect FramePaint::body(const QRect& client) {
    return QRect(QPoint(client.left() + 3, client.top()),
                 QPoint(client.right() - 4, client.bottom() - 4));
}

void FramePaint::paint(QPainter& p, const QRect& client) {
    p.fillRect(client, PanelPalette::frame());
    p.fillRect(body(client), PanelPalette::background());
}

void FramePaint::drawEdge(QPainter& p, const QRect& r, Edge edge) {
    const QRect inner = r.adjusted(1, 1, -1, -1);
    switch (edge) {
    case Edge::None:
        break;
    case Edge::Raised:
        ring(p, r, kLight, kDarkShadow);
        ring(p, inner, kHighlight, kShadow);
        break;
    case Edge::Sunken:
        ring(p, r, kShadow, kHighlight);
        ring(p, inner, kDarkShadow, kLight);
        break;
    }
}

} // namespace pj::skin

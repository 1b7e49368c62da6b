#include "skin/bitmapbutton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace pj::skin {

bool BitmapButtonLogic::hover(bool inside) {
    if (inside) {
        if (!enabled_ || hot_)
            return false;
        hot_ = true;
        picture_ = pressed_ ? Picture::Pressed : Picture::Hover;
        if (variant_ == Variant::Edge)
            edge_ = Edge::Raised;
        return true;
    }
    if (!hot_)
        return false;
    hot_ = false;
    pressed_ = false;
    picture_ = Picture::Normal;
    edge_ = Edge::None; // the normal picture covers the edge
    return true;
}

bool BitmapButtonLogic::press(bool inside) {
    if (!enabled_ || !inside || pressed_)
        return false;
    pressed_ = true;
    picture_ = Picture::Pressed;
    if (variant_ == Variant::Edge)
        edge_ = Edge::Sunken;
    return true;
}

BitmapButtonLogic::Release BitmapButtonLogic::release(bool inside) {
    if (!enabled_ || !inside)
        return {};
    Release r;
    r.reported = true;
    if (pressed_) {
        pressed_ = false;
        r.command = true;
        if (variant_ == Variant::Image)
            picture_ = Picture::Pressed; // stays until the pointer leaves
        else
            edge_ = Edge::Raised;
    }
    return r;
}

BitmapButton::BitmapButton(Variant v, QWidget* parent)
    : QWidget(parent)
    , logic_(v) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
}

void BitmapButton::setImages(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed) {
    normal_ = normal;
    hover_ = hover;
    pressed_ = pressed;
    if (!normal.isNull())
        resize(normal.deviceIndependentSize().toSize());
    update();
}

void BitmapButton::setImage(const QPixmap& picture) {
    setImages(picture, picture, picture);
}

bool BitmapButton::hitTest(const QRect& control, const QPoint& p) {
    const int right = control.left() + control.width();
    const int bottom = control.top() + control.height();
    return control.left() < p.x() && p.x() < right && control.top() < p.y() && p.y() < bottom;
}

QSize BitmapButton::sizeHint() const {
    return normal_.isNull() ? QSize(16, 16) : normal_.deviceIndependentSize().toSize();
}

bool BitmapButton::inside(const QPointF& local) const {
    // In the owner's coordinates, as the rule is stated.
    return hitTest(geometry(), mapToParent(local.toPoint()));
}

void BitmapButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap* pm = &normal_;
    switch (logic_.picture()) {
    case BitmapButtonLogic::Picture::Normal:
        break;
    case BitmapButtonLogic::Picture::Hover:
        pm = &hover_;
        break;
    case BitmapButtonLogic::Picture::Pressed:
        pm = &pressed_;
        break;
    }
    if (!pm->isNull())
        p.drawPixmap(0, 0, *pm);
    FramePaint::drawEdge(p, rect(), logic_.edge());
}

void BitmapButton::mouseMoveEvent(QMouseEvent* e) {
    if (logic_.hover(inside(e->position())))
        update();
}

void BitmapButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    // The pointer may have arrived without a move (a window appearing under it).
    bool changed = logic_.hover(inside(e->position()));
    changed = logic_.press(inside(e->position())) || changed;
    if (changed)
        update();
}

void BitmapButton::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
}

void BitmapButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    const auto r = logic_.release(inside(e->position()));
    if (r.command) {
        // The command goes out first: a modal dialog opened by it runs to its
        // end here, and the edge is drawn afterwards.
        const QPointer<BitmapButton> self(this);
        Q_EMIT clicked();
        if (!self)
            return;
    }
    if (r.reported)
        update();
}

void BitmapButton::leaveEvent(QEvent*) {
    if (logic_.hover(false))
        update();
}

void BitmapButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        logic_.setEnabled(isEnabled());
        if (!isEnabled() && logic_.hover(false))
            update();
    }
    QWidget::changeEvent(e);
}

} // namespace pj::skin

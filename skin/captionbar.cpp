#include "skin/captionbar.h"

#include "skin/artwork.h"
#include "skin/bitmapbutton.h"
#include "skin/fonts.h"
#include "skin/palette.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace pj::skin {

QRegion roundedRegion(const QSize& size, int ellipseWidth, int ellipseHeight) {
    const int w = size.width();
    const int h = size.height();
    if (w <= 0 || h <= 0)
        return {};
    const double rx = std::min(ellipseWidth, w) / 2.0;
    const double ry = std::min(ellipseHeight, h) / 2.0;
    if (rx <= 0 || ry <= 0)
        return QRegion(0, 0, w, h);
    // For each row in a corner band, how many pixels the corner cuts: a pixel
    // stays when its centre lies inside the corner ellipse.
    const auto cut = [rx, ry](int row) {
        const double dy = ry - (row + 0.5); // distance above the ellipse centre
        if (dy <= 0)
            return 0;
        const double t = 1.0 - (dy * dy) / (ry * ry);
        const double dx = t > 0 ? rx * std::sqrt(t) : 0.0;
        const double firstCentre = rx - dx; // the leftmost centre kept
        return static_cast<int>(std::ceil(firstCentre - 0.5 - 1e-9));
    };
    QRegion region;
    const int band = static_cast<int>(std::ceil(ry));
    for (int row = 0; row < band && row < h; ++row) {
        const int c = std::max(0, cut(row));
        region += QRect(c, row, w - 2 * c, 1);
        if (h - 1 - row >= band)
            region += QRect(c, h - 1 - row, w - 2 * c, 1);
    }
    if (h > 2 * band)
        region += QRect(0, band, w, h - 2 * band);
    return region;
}

CaptionBar::CaptionBar(QWidget* parent, Kind kind)
    : QWidget(parent)
    , kind_(kind) {
    setObjectName(QStringLiteral("caption"));
    setAttribute(Qt::WA_OpaquePaintEvent);

    close_ = new BitmapButton(BitmapButton::Variant::Image, this);
    close_->setObjectName(QStringLiteral("button104"));
    close_->setImages(artPixmap(Art::CloseNormal, {}, devicePixelRatioF()),
                      artPixmap(Art::CloseHover, {}, devicePixelRatioF()),
                      artPixmap(Art::ClosePressed, {}, devicePixelRatioF()));
    close_->resize(44, 19);
    close_->setToolTip(QStringLiteral("关闭"));
    connect(close_, &BitmapButton::clicked, this, [this] {
        if (QWidget* w = parentWidget())
            w->close();
    });

    if (kind_ == Kind::MainWindow) {
        minimise_ = new BitmapButton(BitmapButton::Variant::Image, this);
        minimise_->setObjectName(QStringLiteral("button118"));
        minimise_->setImages(artPixmap(Art::MinimiseNormal, {}, devicePixelRatioF()),
                             artPixmap(Art::MinimiseHover, {}, devicePixelRatioF()),
                             artPixmap(Art::MinimisePressed, {}, devicePixelRatioF()));
        minimise_->resize(25, 19);
        minimise_->setToolTip(QStringLiteral("最小化"));
        connect(minimise_, &BitmapButton::clicked, this, [this] {
            if (QWidget* w = parentWidget())
                w->window()->showMinimized();
        });
    }

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon117"));
    icon->setGeometry(4, 5, 18, 18);
    icon->setPixmap(artPixmap(Art::ProgramIcon, {18, 18}, devicePixelRatioF()));
    icon->setAttribute(Qt::WA_TransparentForMouseEvents); // the strip drags by it too
    icon_ = icon;

    if (parent)
        parent->installEventFilter(this);
    parentResized();
    show();
}

void CaptionBar::parentResized() {
    QWidget* p = parentWidget();
    if (!p)
        return;
    const int w = p->width();
    setGeometry(0, 0, w, kHeight);
    p->setMask(roundedRegion(p->size()));
    close_->move(w - 50, 0);
    if (minimise_)
        minimise_->move(w - 75, 0);
    raise();
    update();
}

bool CaptionBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == parentWidget()) {
        if (e->type() == QEvent::Resize)
            parentResized();
        else if (e->type() == QEvent::WindowTitleChange)
            update();
    }
    return QWidget::eventFilter(watched, e);
}

void CaptionBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap strip = artPixmap(Art::CaptionStrip, {1, kHeight}, devicePixelRatioF());
    if (!strip.isNull())
        p.drawPixmap(QRect(0, 0, width(), kHeight), strip);
    else
        p.fillRect(rect(), PanelPalette::frame());

    QString title = parentWidget() ? parentWidget()->windowTitle() : QString();
    title.truncate(kTitleMaxChars);
    p.setFont(skinFont(QStringLiteral("宋体"), kTitleHeight, kTitleWidth));
    p.setPen(PanelPalette::captionText());
    // The title's character cell starts at (24, 6). Its baseline is placed
    // where the Song face puts it (ascent 0.86 of the cell), whatever the
    // metrics of the face standing in for it.
    const int baseline = kTitleTop + (kTitleHeight * 86 + 50) / 100;
    const QString shown =
        QFontMetrics(p.font()).elidedText(title, Qt::ElideRight, std::max(0, width() - kTitleLeft));
    p.drawText(QPoint(kTitleLeft, baseline), shown);
}

void CaptionBar::mousePressEvent(QMouseEvent* e) {
    // The buttons are children and take their own presses; a press that
    // reaches the strip is outside both and drags the window.
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    startDrag(e->globalPosition());
}

void CaptionBar::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
}

void CaptionBar::startDrag(const QPointF& globalPos) {
    QWidget* top = window();
    if (QWindow* handle = top->windowHandle()) {
        if (handle->startSystemMove())
            return; // the window system follows the pointer
    }
    dragging_ = true;
    dragOffset_ = globalPos.toPoint() - top->pos();
}

void CaptionBar::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton))
        window()->move(e->globalPosition().toPoint() - dragOffset_);
}

void CaptionBar::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        dragging_ = false;
}

} // namespace pj::skin

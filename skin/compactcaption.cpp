#include "skin/compactcaption.h"

#include "skin/artwork.h"
#include "skin/captionbar.h"
#include "skin/fonts.h"
#include "skin/setuppalette.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace pj::skin {

CompactCaption::CompactCaption(QWidget* parent, Program program, Kind kind, const QPixmap& close,
                               const QPixmap& minimise)
    : QWidget(parent)
    , program_(program)
    , kind_(kind) {
    setObjectName(QStringLiteral("caption"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    const int w = parent ? parent->width() : 0;
    setGeometry(0, 0, w, kHeight);

    const bool setup = program == Program::Setup;
    const int side = setup ? 14 : 10;
    const int top = setup ? 5 : 7;

    close_ = new QLabel(this);
    close_->setObjectName(QStringLiteral("button104"));
    close_->setGeometry(w - 20, top, side, side);
    close_->setPixmap(close);
    close_->setScaledContents(true);
    close_->setToolTip(QStringLiteral("关闭"));
    close_->installEventFilter(this);

    minimise_ = new QLabel(this);
    minimise_->setObjectName(QStringLiteral("button118"));
    minimise_->setGeometry(setup ? w - 38 : w - 35, top, side, side);
    minimise_->setScaledContents(true);
    if (kind == Kind::MainWindow) {
        minimise_->setPixmap(minimise);
        minimise_->setToolTip(QStringLiteral("最小化"));
    }
    minimise_->installEventFilter(this);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon117"));
    icon->setGeometry(4, 3, 10, 10);
    icon->setPixmap(artPixmap(Art::ProgramIcon, {18, 18}, devicePixelRatioF()));
    icon->setScaledContents(true);
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);

    if (parent)
        parent->setMask(roundedRegion(parent->size()));
    if (parent)
        parent->installEventFilter(this);
    show();
}

bool CompactCaption::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        auto* label = qobject_cast<QLabel*>(watched);
        if (label && label->rect().contains(static_cast<QMouseEvent*>(e)->position().toPoint())) {
            QWidget* top = window();
            if (watched == close_) {
                top->close();
                return true;
            }
            if (watched == minimise_ && kind_ == Kind::MainWindow) {
                top->showMinimized();
                return true;
            }
        }
    }
    if (watched == parentWidget() && e->type() == QEvent::WindowTitleChange)
        update();
    return QWidget::eventFilter(watched, e);
}

void CompactCaption::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), SetupPalette::caption());
    QString title = parentWidget() ? parentWidget()->windowTitle() : QString();
    title.truncate(titleLimit(program_));
    p.setFont(skinFont(QStringLiteral("黑体"), kTitleHeight, kTitleWidth));
    p.setPen(SetupPalette::captionText());
    // The character cell starts at (24, 4); the baseline sits where the Hei
    // face puts it (ascent 0.86 of the cell).
    const int baseline = kTitleTop + (kTitleHeight * 86 + 50) / 100;
    p.drawText(QPoint(kTitleLeft, baseline), title);
}

void CompactCaption::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    QWidget* top = window();
    if (QWindow* handle = top->windowHandle()) {
        if (handle->startSystemMove())
            return;
    }
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - top->pos();
}

void CompactCaption::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton))
        window()->move(e->globalPosition().toPoint() - dragOffset_);
}

void CompactCaption::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        dragging_ = false;
}

} // namespace pj::skin

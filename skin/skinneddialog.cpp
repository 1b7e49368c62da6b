#include "skin/skinneddialog.h"

#include "skin/artwork.h"
#include "skin/centre.h"
#include "skin/fonts.h"
#include "skin/framepaint.h"
#include "skin/palette.h"
#include "skin/units.h"

#include <QPainter>

namespace pj::skin {

void makeSkinned(QWidget* window) {
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    window->setAttribute(Qt::WA_StyledBackground, false);
    PanelPalette::apply(window);
    window->setFont(dialogFont());
    window->setWindowIcon(artIcon(Art::ProgramIcon));
}

SkinnedDialog::SkinnedDialog(const QString& title, QSize sizeInDlu, QWidget* parent,
                             CaptionBar::Kind kind)
    : QDialog(parent) {
    makeSkinned(this);
    setModal(true);
    setWindowTitle(title);
    setFixedSize(dluSize(sizeInDlu.width(), sizeInDlu.height()));
    caption_ = new CaptionBar(this, kind);
    centreOnScreen(this);
}

void SkinnedDialog::resizeAndCentre(const QSize& pixels) {
    setFixedSize(pixels);
    caption_->parentResized();
    centreOnScreen(this);
    update();
}

void SkinnedDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FramePaint::paint(p, rect());
}

void SkinnedDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // The screen is known for certain only once the window exists.
    centreOnScreen(this);
}

} // namespace pj::skin

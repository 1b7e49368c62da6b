#pragma once
// A skinned dialog: a borderless, round-cornered window with the caption strip,
// the blue frame round a light grey body, the dialogs' font, centred on the
// screen when it is made and again whenever it changes its own size. Closing it
// from the strip (or with Escape) ends it with 0.

#include "skin/captionbar.h"

#include <QDialog>
#include <QSize>
#include <QString>

namespace pj::skin {

class SkinnedDialog : public QDialog {
    Q_OBJECT
public:
    // `sizeInDlu`: the dialog's size in dialog units (see skin/units.h).
    SkinnedDialog(const QString& title, QSize sizeInDlu, QWidget* parent = nullptr,
                  CaptionBar::Kind kind = CaptionBar::Kind::Dialog);

    CaptionBar* captionBar() const { return caption_; }

    // New size in pixels, keeping the top-left corner; the strip spans the new
    // width and renews the outline; then the dialog is centred again.
    void resizeAndCentre(const QSize& pixels);

protected:
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    CaptionBar* caption_;
};

// The window flags and palette of a skinned top-level window, for windows that
// are not dialogs (the main window): borderless, the panel palette, the dialog font.
void makeSkinned(QWidget* window);

} // namespace pj::skin

#pragma once
// The colours and the frame of the setup and remover windows: a lighter grey
// body with a raised 3-D edge on the left, right and bottom (the caption
// strip lies on the top), a white welcome page, a deep blue heading.

#include <QColor>
#include <QPalette>
#include <QRect>

class QPainter;
class QWidget;

namespace pj::skin {

struct SetupPalette {
    static QColor background() { return {232, 232, 232}; } // host, pages, static controls
    static QColor caption() { return {71, 115, 225}; }     // caption strip fill
    static QColor captionText() { return {255, 255, 255}; }
    static QColor white() { return {255, 255, 255}; } // welcome page
    static QColor heading() { return {4, 60, 120}; }  // welcome heading

    // A widget palette whose window colour is `fill`.
    static QPalette widgetPalette(const QPalette& base, const QColor& fill = background());
    static void apply(QWidget* w, const QColor& fill = background());
};

// Fills `client` with the background and draws a raised edge (outer and inner
// raised) on its left, right and bottom sides.
void paintSetupFrame(QPainter& p, const QRect& client);

} // namespace pj::skin

#pragma once
// The colours of the code writer's windows: a light grey body inside a blue
// frame, white caption text on the blue strip.

#include <QColor>
#include <QPalette>

class QWidget;

namespace pj::skin {

struct PanelPalette {
    static QColor background() { return {235, 235, 235}; } // dialog body, shared brush
    static QColor frame() { return {66, 124, 194}; }       // frame round each body
    static QColor captionText() { return {255, 255, 255}; }

    // A widget palette whose window colour is the background: static texts,
    // check boxes and read-only fields drawn on it show the body colour through.
    static QPalette widgetPalette(const QPalette& base);
    // Gives `w` the palette above (children inherit it).
    static void apply(QWidget* w);
};

} // namespace pj::skin

#pragma once
// Painting of a dialog body and of the 3-D edges of the picture buttons.

#include <QRect>

class QPainter;

namespace pj::skin {

enum class Edge {
    None,
    Raised, // outer and inner raised, all four sides
    Sunken, // outer and inner sunken, all four sides
};

struct FramePaint {
    // Fills `client` with the frame colour and the inside with the background,
    // leaving the frame 3 px wide on the left and 4 px on the right and at the
    // bottom. The top edge lies under the caption strip.
    static void paint(QPainter& p, const QRect& client);
    // The body rectangle that `paint` fills with the background colour.
    static QRect body(const QRect& client);
    // A two-pixel 3-D edge drawn just inside `r`.
    static void drawEdge(QPainter& p, const QRect& r, Edge edge);
};

} // namespace pj::skin

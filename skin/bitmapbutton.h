#pragma once
// A picture driven as a push button.
//
// Two variants: the image variant (the caption strip's close and minimise
// buttons) shows a normal, a hover and a pressed picture; the edge variant (the
// main panel's picture buttons and the settings dialog's arrow) holds one
// picture and shows hover and press as a drawn raised or sunken edge.
//
// The rules, for both variants (x, y in the owner's coordinates; a point on the
// control's left or top edge counts as outside):
// - hover inside marks the button hot; hover outside clears both hot and
//   pressed, so leaving with the mouse button held forgets the press;
// - press inside marks it pressed;
// - release inside sends `clicked` only when it is still pressed; a release
//   outside sends nothing.
// Press, leave, return, release therefore sends nothing: coming back shows the
// hover picture but the press was cleared on the way out.

#include "skin/framepaint.h"

#include <QObject>
#include <QPixmap>
#include <QWidget>

namespace pj::skin {

// The state machine alone, without a widget.
class BitmapButtonLogic {
public:
    enum class Variant { Image, Edge };
    enum class Picture { Normal, Hover, Pressed };
    struct Release {
        bool reported = false; // the release was taken (inside, enabled)
        bool command = false;  // the owner is sent the button's command
    };

    explicit BitmapButtonLogic(Variant v)
        : variant_(v) {}

    // Each returns whether the operation was taken (the caption strip drags its
    // window when neither of its buttons took a press).
    bool hover(bool inside);
    bool press(bool inside);
    Release release(bool inside);

    Variant variant() const { return variant_; }
    bool pressed() const { return pressed_; }
    bool hot() const { return hot_; }
    bool enabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }
    Picture picture() const { return picture_; }
    Edge edge() const { return edge_; }

private:
    Variant variant_;
    bool pressed_ = false;
    bool hot_ = false;
    bool enabled_ = true;
    Picture picture_ = Picture::Normal;
    Edge edge_ = Edge::None;
};

class BitmapButton : public QWidget {
    Q_OBJECT
public:
    using Variant = BitmapButtonLogic::Variant;

    explicit BitmapButton(Variant v, QWidget* parent = nullptr);

    // Image variant: three pictures. The control takes the normal picture's size.
    void setImages(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed);
    // One picture in all three slots (edge variant). The control takes its size.
    void setImage(const QPixmap& picture);

    const BitmapButtonLogic& logic() const { return logic_; }

    // Strict hit test: left < x < right and top < y < bottom, where right and
    // bottom are one past the last pixel of `control`.
    static bool hitTest(const QRect& control, const QPoint& p);

    QSize sizeHint() const override;

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    bool inside(const QPointF& local) const;

    BitmapButtonLogic logic_;
    QPixmap normal_;
    QPixmap hover_;
    QPixmap pressed_;
};

} // namespace pj::skin

#pragma once
// The caption strip at the top of every skinned window: 26 pixels high over the
// whole width, the strip picture stretched along it, the program icon at (4, 5),
// the window title in white "宋体" 15 x 8 at (24, 6), the close button at
// (W - 50, 0) and, on the program's main window only, the minimise button at
// (W - 75, 0). Pressing anywhere else on the strip drags the window. The strip
// also gives its parent the rounded outline (4 x 4 corner ellipse) and renews it
// when the parent changes size.
//
// Object names: "caption" (the strip), "button104" (close), "button118"
// (minimise), "icon117" (program icon).

#include <QPoint>
#include <QRegion>
#include <QWidget>

namespace pj::skin {

class BitmapButton;

// The window outline: the rectangle (0, 0)-(size) with each corner cut by an
// ellipse of `ellipseWidth` x `ellipseHeight` pixels (a pixel is kept when its
// centre lies inside the rounded rectangle).
QRegion roundedRegion(const QSize& size, int ellipseWidth = 4, int ellipseHeight = 4);

class CaptionBar : public QWidget {
    Q_OBJECT
public:
    enum class Kind {
        Dialog,     // close button only
        MainWindow, // minimise and close buttons
    };
    static constexpr int kHeight = 26;
    static constexpr int kTitleMaxChars = 99;
    static constexpr int kTitleLeft = 24;
    static constexpr int kTitleTop = 6;
    static constexpr int kTitleHeight = 15; // character cell of the title font
    static constexpr int kTitleWidth = 8;   // its average character width

    explicit CaptionBar(QWidget* parent, Kind kind = Kind::Dialog);

    // The parent changed its size: span the new width, move the buttons with
    // the right edge, renew the rounded outline. The strip also notices the
    // parent's resize events by itself.
    void parentResized();

    Kind kind() const { return kind_; }
    BitmapButton* closeButton() const { return close_; }
    BitmapButton* minimiseButton() const { return minimise_; } // null on dialogs
    bool dragging() const { return dragging_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void startDrag(const QPointF& globalPos);

    Kind kind_;
    BitmapButton* close_ = nullptr;
    BitmapButton* minimise_ = nullptr;
    QWidget* icon_ = nullptr;
    bool dragging_ = false;
    QPoint dragOffset_; // pointer position minus the window's top-left, while dragging
};

} // namespace pj::skin

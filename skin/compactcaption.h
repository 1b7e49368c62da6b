#pragma once
// The compact caption strip of setup and remover: 24 pixels over the whole
// width, filled flat with the setup caption blue, the title in white "黑体"
// 15 x 7 at (24, 4), the program icon in a 10 x 10 control at (4, 3).
//
//              close (104)                 minimise (118)
//   setup      14 x 14 at (W - 20, 5)      14 x 14 at (W - 38, 5)
//   remover    10 x 10 at (W - 20, 7)      10 x 10 at (W - 35, 7)
//
// The buttons are click-notifying pictures without hover or press images; a
// click on close asks the window to close, on minimise minimises it. The
// minimise control is on every window but shows its picture and acts only
// on a program's main window. A press anywhere else drags the window. The
// strip gives its window the rounded outline (4 x 4 corners); it does not
// follow later size changes. Titles are cut at 49 (setup) or 19 (remover)
// characters.
//
// Object names: "caption", "button104", "button118", "icon117".

#include <QLabel>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

namespace pj::skin {

class CompactCaption : public QWidget {
    Q_OBJECT
public:
    enum class Program { Setup, Remover };
    enum class Kind { Dialog, MainWindow };
    static constexpr int kHeight = 24;
    static constexpr int kTitleLeft = 24;
    static constexpr int kTitleTop = 4;
    static constexpr int kTitleHeight = 15;
    static constexpr int kTitleWidth = 7;

    // `close` and `minimise`: the 14 x 14 pictures 103 and 106.
    CompactCaption(QWidget* parent, Program program, Kind kind, const QPixmap& close,
                   const QPixmap& minimise);

    static int titleLimit(Program p) { return p == Program::Setup ? 49 : 19; }
    Program program() const { return program_; }
    Kind kind() const { return kind_; }
    QWidget* closeButton() const { return close_; }
    QWidget* minimiseButton() const { return minimise_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Program program_;
    Kind kind_;
    QLabel* close_ = nullptr;
    QLabel* minimise_ = nullptr;
    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace pj::skin

// The skinned window look: dialog units, centring, the rounded outline, the
// picture buttons' press / hover / release rules, the caption strip and the
// frame painting.

#include "skin/artwork.h"
#include "skin/bitmapbutton.h"
#include "skin/captionbar.h"
#include "skin/centre.h"
#include "skin/fonts.h"
#include "skin/framepaint.h"
#include "skin/palette.h"
#include "skin/skinneddialog.h"
#include "skin/units.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace pj::skin;

namespace {

// Sends a mouse event to `w` at `local` as the window system would to the
// widget holding the mouse (the pressed button keeps it until release).
void send(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button,
          Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, held,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}
void press(QWidget* w, QPoint p) {
    send(w, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
}
void moveHeld(QWidget* w, QPoint p) {
    send(w, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
}
void moveFree(QWidget* w, QPoint p) {
    send(w, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
}
void release(QWidget* w, QPoint p) {
    send(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

QColor pixel(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}

} // namespace

class TestSkin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dialogUnits_mapToPixelsOfTheDialogFont();
    void centredPosition_oddDifferenceLeavesExtraPixelRight();
    void centreOnScreen_movesWindowToScreenCentre();
    void roundedRegion_cutsOnlyTheCorners();
    void skinnedDialog_maskFollowsSize();
    void hitTest_leftAndTopEdgesAreOutside();
    void imageButton_pressLeaveReturnRelease_sendsNothing();
    void imageButton_pressLeaveReleaseElsewhere_sendsNothing();
    void imageButton_pressRelease_sendsOnceAndKeepsPressedPicture();
    void edgeButton_drawsRaisedAndSunkenEdges();
    void disabledButton_ignoresTheMouse();
    void captionBar_layoutOnDialogAndMainWindow();
    void captionBar_closeButtonEndsDialogWithZero();
    void captionBar_pressOnStripDragsWindow();
    void framePaint_framesTheBody();
    void fonts_mapChineseFacesToInstalledFamilies();
    void artwork_everyPictureRendersAtItsSize();
    void artwork_anySizeAndRatioIsServed();
};

void TestSkin::dialogUnits_mapToPixelsOfTheDialogFont() {
    QCOMPARE(dluX(4), 6);
    QCOMPARE(dluY(8), 13);
    QCOMPARE(dluX(1), 2); // 1.5 rounds half away from zero
    QCOMPARE(dluX(3), 5);
    QCOMPARE(dluY(1), 2); // 1.625
    QCOMPARE(dlu(0, 0, 4, 8), QRect(0, 0, 6, 13));
    QCOMPARE(dluSize(282, 143), QSize(423, 232));
    QCOMPARE(dluSize(318, 155), QSize(477, 252));
    // Corner-by-corner mapping keeps neighbours touching.
    const QRect a = dlu(1, 1, 3, 3);
    const QRect b = dlu(4, 4, 3, 3);
    QCOMPARE(a.x() + a.width(), b.x());
    QCOMPARE(a.y() + a.height(), b.y());
    // Device pixels scale with the device pixel ratio.
    QCOMPARE(dluDevice(0, 0, 4, 8, 1.0), QRect(0, 0, 6, 13));
    QCOMPARE(dluDevice(4, 8, 4, 8, 2.0), QRect(12, 26, 12, 26));
    QCOMPARE(dluDevice(0, 0, 2, 8, 1.5), QRect(0, 0, 5, 20)); // 4.5 and 19.5 round up
}

void TestSkin::centredPosition_oddDifferenceLeavesExtraPixelRight() {
    const QRect screen(0, 0, 1024, 768);
    const QPoint p = centredPosition(screen, QSize(401, 301));
    QCOMPARE(p, QPoint(311, 233));
    QCOMPARE(screen.width() - (p.x() + 401), 312); // one more on the right
    QCOMPARE(screen.height() - (p.y() + 301), 234);
    // Even difference: equal margins; a second screen's origin is respected.
    QCOMPARE(centredPosition(QRect(1024, 0, 800, 600), QSize(400, 300)), QPoint(1224, 150));
}

void TestSkin::centreOnScreen_movesWindowToScreenCentre() {
    QWidget w;
    w.setWindowFlag(Qt::FramelessWindowHint);
    w.resize(301, 200);
    w.move(0, 0);
    centreOnScreen(&w);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(w.pos(), centredPosition(screen, QSize(301, 200)));
    const int left = w.x() - screen.x();
    const int right = screen.x() + screen.width() - (w.x() + w.width());
    QCOMPARE(right - left, (screen.width() - 301) % 2);
}

void TestSkin::roundedRegion_cutsOnlyTheCorners() {
    const QRegion r = roundedRegion(QSize(20, 10));
    QCOMPARE(r.boundingRect(), QRect(0, 0, 20, 10));
    for (const QPoint corner : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 9), QPoint(19, 9)})
        QVERIFY2(!r.contains(corner),
                 qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
    for (const QPoint kept : {QPoint(1, 0), QPoint(0, 1), QPoint(18, 0), QPoint(19, 1),
                              QPoint(1, 9), QPoint(18, 9), QPoint(10, 5), QPoint(0, 5)})
        QVERIFY2(r.contains(kept), qPrintable(QStringLiteral("%1,%2").arg(kept.x()).arg(kept.y())));
    int area = 0;
    for (const QRect& rect : r)
        area += rect.width() * rect.height();
    QCOMPARE(area, 20 * 10 - 4);
    // A larger ellipse cuts more; degenerate sizes give a sane region.
    QVERIFY(!roundedRegion(QSize(40, 40), 12, 12).contains(QPoint(1, 1)));
    QVERIFY(roundedRegion(QSize(0, 10)).isEmpty());
    QCOMPARE(roundedRegion(QSize(3, 3)).boundingRect(), QRect(0, 0, 3, 3));
}

void TestSkin::skinnedDialog_maskFollowsSize() {
    SkinnedDialog d(QStringLiteral("关于"), QSize(218, 139));
    QCOMPARE(d.size(), dluSize(218, 139));
    QCOMPARE(d.mask(), roundedRegion(d.size()));
    d.resizeAndCentre(QSize(300, 150));
    QCOMPARE(d.size(), QSize(300, 150));
    QCOMPARE(d.mask(), roundedRegion(QSize(300, 150)));
    QCOMPARE(d.captionBar()->geometry(), QRect(0, 0, 300, 26));
    QCOMPARE(d.pos(), centredPosition(QGuiApplication::primaryScreen()->geometry(), d.size()));
}

void TestSkin::hitTest_leftAndTopEdgesAreOutside() {
    const QRect c(10, 20, 5, 4);
    QVERIFY(!BitmapButton::hitTest(c, QPoint(10, 22)));
    QVERIFY(!BitmapButton::hitTest(c, QPoint(12, 20)));
    QVERIFY(BitmapButton::hitTest(c, QPoint(11, 21)));
    QVERIFY(BitmapButton::hitTest(c, QPoint(14, 23)));
    QVERIFY(!BitmapButton::hitTest(c, QPoint(15, 22)));
    QVERIFY(!BitmapButton::hitTest(c, QPoint(12, 24)));
}

void TestSkin::imageButton_pressLeaveReturnRelease_sendsNothing() {
    // The state machine alone.
    BitmapButtonLogic l(BitmapButtonLogic::Variant::Image);
    QVERIFY(l.hover(true));
    QVERIFY(l.press(true));
    QCOMPARE(l.picture(), BitmapButtonLogic::Picture::Pressed);
    QVERIFY(l.hover(false)); // leaving clears the press
    QVERIFY(!l.pressed());
    QCOMPARE(l.picture(), BitmapButtonLogic::Picture::Normal);
    QVERIFY(l.hover(true));
    QCOMPARE(l.picture(), BitmapButtonLogic::Picture::Hover); // hover, not pressed
    const auto r = l.release(true);
    QVERIFY(r.reported);
    QVERIFY(!r.command);

    // The widget, driven by mouse events as the window system sends them.
    QWidget owner;
    owner.resize(200, 100);
    BitmapButton b(BitmapButton::Variant::Image, &owner);
    b.setImages(artPixmap(Art::CloseNormal), artPixmap(Art::CloseHover),
                artPixmap(Art::ClosePressed));
    b.move(50, 20);
    QCOMPARE(b.size(), QSize(44, 19));
    QSignalSpy clicked(&b, &BitmapButton::clicked);
    moveFree(&b, {10, 10});
    press(&b, {10, 10});
    QVERIFY(b.logic().pressed());
    moveHeld(&b, {60, 10}); // outside, button held
    QVERIFY(!b.logic().pressed());
    QVERIFY(!b.logic().hot());
    moveHeld(&b, {10, 10}); // back inside
    QVERIFY(b.logic().hot());
    QCOMPARE(b.logic().picture(), BitmapButtonLogic::Picture::Hover);
    release(&b, {10, 10});
    QCOMPARE(clicked.count(), 0);
}

void TestSkin::imageButton_pressLeaveReleaseElsewhere_sendsNothing() {
    QWidget owner;
    owner.resize(200, 100);
    BitmapButton b(BitmapButton::Variant::Image, &owner);
    b.setImages(artPixmap(Art::CloseNormal), artPixmap(Art::CloseHover),
                artPixmap(Art::ClosePressed));
    QSignalSpy clicked(&b, &BitmapButton::clicked);
    press(&b, {10, 10});
    moveHeld(&b, {100, 50});
    release(&b, {100, 50});
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(b.logic().picture(), BitmapButtonLogic::Picture::Normal);
    // Released outside without a move in between: still nothing.
    press(&b, {10, 10});
    release(&b, {-5, 10});
    QCOMPARE(clicked.count(), 0);
    QVERIFY(b.logic().pressed()); // only a move out or a release inside clears it
    moveHeld(&b, {-5, 10});
    QVERIFY(!b.logic().pressed());
}

void TestSkin::imageButton_pressRelease_sendsOnceAndKeepsPressedPicture() {
    QWidget owner;
    owner.resize(200, 100);
    BitmapButton b(BitmapButton::Variant::Image, &owner);
    b.setImages(artPixmap(Art::CloseNormal), artPixmap(Art::CloseHover),
                artPixmap(Art::ClosePressed));
    QSignalSpy clicked(&b, &BitmapButton::clicked);
    moveFree(&b, {5, 5});
    press(&b, {5, 5});
    press(&b, {6, 5}); // a second press while pressed is not taken
    release(&b, {5, 5});
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(b.logic().picture(), BitmapButtonLogic::Picture::Pressed); // until the pointer leaves
    release(&b, {5, 5});
    QCOMPARE(clicked.count(), 1);
    moveFree(&b, {100, 5});
    QCOMPARE(b.logic().picture(), BitmapButtonLogic::Picture::Normal);
    // Pressing on the edge pixel is outside.
    press(&b, {0, 5});
    release(&b, {0, 5});
    QCOMPARE(clicked.count(), 1);
}

void TestSkin::edgeButton_drawsRaisedAndSunkenEdges() {
    BitmapButtonLogic l(BitmapButtonLogic::Variant::Edge);
    QCOMPARE(l.edge(), Edge::None);
    l.hover(true);
    QCOMPARE(l.edge(), Edge::Raised);
    l.press(true);
    QCOMPARE(l.edge(), Edge::Sunken);
    const auto r = l.release(true);
    QVERIFY(r.command);
    QCOMPARE(l.edge(), Edge::Raised);
    l.hover(false);
    QCOMPARE(l.edge(), Edge::None);
    // Press, leave, return, release: nothing, raised edge on return.
    l.hover(true);
    l.press(true);
    l.hover(false);
    l.hover(true);
    QCOMPARE(l.edge(), Edge::Raised);
    QVERIFY(!l.release(true).command);

    // The edge shows on the widget's own pixels.
    QWidget owner;
    owner.resize(200, 100);
    BitmapButton b(BitmapButton::Variant::Edge, &owner);
    b.setImage(artPixmap(Art::AboutButton));
    QCOMPARE(b.size(), QSize(80, 40));
    moveFree(&b, {10, 10});
    press(&b, {10, 10});
    QImage img = b.grab().toImage();
    QCOMPARE(pixel(img, 0, 0), QColor(160, 160, 160)); // sunken: shadow outside top-left
    QSignalSpy clicked(&b, &BitmapButton::clicked);
    release(&b, {10, 10});
    QCOMPARE(clicked.count(), 1);
    img = b.grab().toImage();
    QCOMPARE(pixel(img, 79, 39), QColor(105, 105, 105)); // raised: dark shadow bottom-right
}

void TestSkin::disabledButton_ignoresTheMouse() {
    BitmapButtonLogic l(BitmapButtonLogic::Variant::Image);
    l.setEnabled(false);
    QVERIFY(!l.hover(true));
    QVERIFY(!l.press(true));
    QVERIFY(!l.release(true).reported);
    QWidget owner;
    BitmapButton b(BitmapButton::Variant::Image, &owner);
    b.setEnabled(false);
    QVERIFY(!b.logic().enabled());
}

void TestSkin::captionBar_layoutOnDialogAndMainWindow() {
    SkinnedDialog d(QStringLiteral("参数设置"), QSize(200, 100));
    const int w = d.width();
    auto* strip = d.findChild<CaptionBar*>(QStringLiteral("caption"));
    QVERIFY(strip);
    QCOMPARE(strip->geometry(), QRect(0, 0, w, 26));
    QVERIFY(!d.findChild<QWidget*>(QStringLiteral("button118")));
    auto* close = d.findChild<QWidget*>(QStringLiteral("button104"));
    QVERIFY(close);
    QCOMPARE(close->geometry(), QRect(w - 50, 0, 44, 19));
    QCOMPARE(d.findChild<QWidget*>(QStringLiteral("icon117"))->geometry(), QRect(4, 5, 18, 18));

    QWidget main;
    makeSkinned(&main);
    main.resize(400, 300);
    CaptionBar bar(&main, CaptionBar::Kind::MainWindow);
    QVERIFY(bar.minimiseButton());
    QCOMPARE(bar.minimiseButton()->geometry(), QRect(400 - 75, 0, 25, 19));
    main.show();
    main.resize(500, 300); // the strip notices the parent's resize
    QCOMPARE(bar.width(), 500);
    QCOMPARE(bar.closeButton()->geometry(), QRect(450, 0, 44, 19));
    QCOMPARE(bar.minimiseButton()->geometry(), QRect(425, 0, 25, 19));
    QCOMPARE(main.mask(), roundedRegion(QSize(500, 300)));
}

void TestSkin::captionBar_closeButtonEndsDialogWithZero() {
    SkinnedDialog d(QStringLiteral("警告"), QSize(131, 65));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.setResult(7);
    auto* close = d.findChild<BitmapButton*>(QStringLiteral("button104"));
    moveFree(close, {20, 9});
    press(close, {20, 9});
    release(close, {20, 9});
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), 0);
}

void TestSkin::captionBar_pressOnStripDragsWindow() {
    SkinnedDialog d(QStringLiteral("检测中控"), QSize(200, 100));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* strip = d.captionBar();
    const QPoint start = d.pos();
    press(strip, {100, 10});
    if (!strip->dragging())
        QSKIP("the window system moves the window itself");
    moveHeld(strip, {130, 30});
    QCOMPARE(d.pos(), start + QPoint(30, 20));
    release(strip, {130, 30});
    QVERIFY(!strip->dragging());
}

void TestSkin::framePaint_framesTheBody() {
    QImage img(50, 40, QImage::Format_RGB32);
    img.fill(Qt::black);
    {
        QPainter p(&img);
        FramePaint::paint(p, img.rect());
    }
    const QColor frame = PanelPalette::frame();
    const QColor body = PanelPalette::background();
    QCOMPARE(pixel(img, 2, 20), frame);
    QCOMPARE(pixel(img, 3, 20), body);
    QCOMPARE(pixel(img, 45, 20), body);
    QCOMPARE(pixel(img, 46, 20), frame); // 4 px on the right
    QCOMPARE(pixel(img, 20, 35), body);
    QCOMPARE(pixel(img, 20, 36), frame); // 4 px at the bottom
    QCOMPARE(pixel(img, 20, 0), body);   // the top lies under the strip
    QCOMPARE(FramePaint::body(QRect(0, 0, 50, 40)), QRect(3, 0, 43, 36));
}

void TestSkin::fonts_mapChineseFacesToInstalledFamilies() {
    const QString song = fontFamilyFor(QStringLiteral("宋体"));
    const QString hei = fontFamilyFor(QStringLiteral("黑体"));
    QVERIFY2(QFontDatabase::hasFamily(song), qPrintable(song));
    QVERIFY2(QFontDatabase::hasFamily(hei), qPrintable(hei));
    if (!QFontDatabase::hasFamily(QStringLiteral("SimSun")))
        QCOMPARE(song, QStringLiteral("Noto Serif CJK SC"));
    if (!QFontDatabase::hasFamily(QStringLiteral("SimHei")))
        QCOMPARE(hei, QStringLiteral("Noto Sans CJK SC"));
    const QFont f = skinFont(QStringLiteral("宋体"), 15, 8);
    QCOMPARE(f.pixelSize(), 15);
    QCOMPARE(f.stretch(), 107); // 8 against the natural 7.5
}

void TestSkin::artwork_everyPictureRendersAtItsSize() {
    const Art all[] = {Art::CloseNormal,   Art::MinimiseNormal,  Art::AboutButton,
                       Art::HelpButton,    Art::MonitorButton,   Art::CaptionStrip,
                       Art::CloseHover,    Art::ClosePressed,    Art::MinimisePressed,
                       Art::MinimiseHover, Art::ArrowOut,        Art::ArrowIn,
                       Art::ProgramIcon,   Art::NodeClosed,      Art::NodeOpen,
                       Art::NodeRoot,      Art::StatusConfirmed, Art::StatusUnconfirmed};
    for (const Art a : all) {
        const QPixmap pm = artPixmap(a);
        QVERIFY2(!pm.isNull(), qPrintable(artPath(a)));
        QCOMPARE(pm.size(), artSize(a));
        const QPixmap dense = artPixmap(a, {}, 2.0);
        QCOMPARE(dense.size(), artSize(a) * 2);
        QCOMPARE(dense.deviceIndependentSize().toSize(), artSize(a));
        QVERIFY(!artIcon(a).isNull());
    }
    // The strip picture is opaque so that the strip shows no holes.
    const QImage strip = artPixmap(Art::CaptionStrip).toImage();
    for (int y = 0; y < 26; ++y)
        QCOMPARE(strip.pixelColor(0, y).alpha(), 255);
}

void TestSkin::artwork_anySizeAndRatioIsServed() {
    // Every picture at every listed ratio, named as the PNG build carries it.
    QCOMPARE(artRenditionName(Art::CloseNormal, {44, 19}, 1.25),
             QStringLiteral("103-44x19@125.png"));
    QCOMPARE(artDeviceSize({44, 19}, 1.25), QSize(55, 24));
    QCOMPARE(static_cast<int>(allArt().size()), 18);
    for (const ArtRendition& r : artRenditions()) {
        for (const double ratio : artPixelRatios()) {
            const QPixmap pm = artPixmap(r.art, r.size, ratio);
            QCOMPARE(pm.size(), artDeviceSize(r.size, ratio));
        }
    }
    // A size or ratio the lists lack still comes out at its size: rendered
    // from the drawing, or (PNG build) scaled from the nearest larger rendering.
    const QPixmap odd = artPixmap(Art::StatusConfirmed, {20, 20}, 1.3);
    QCOMPARE(odd.size(), QSize(26, 26));
    QCOMPARE(odd.devicePixelRatio(), 1.3);
    const QImage oddImage = odd.toImage();
    int painted = 0;
    for (int y = 0; y < oddImage.height(); ++y)
        for (int x = 0; x < oddImage.width(); ++x)
            painted += oddImage.pixelColor(x, y).alpha() > 0;
    QVERIFY(painted > 26 * 26 / 4); // the tick, not an empty square
    const QPixmap huge = artPixmap(Art::ProgramIcon, {300, 300}, 2.0);
    QCOMPARE(huge.size(), QSize(600, 600));
    // The window icon offers the program icon at the task bar's sizes.
    const QIcon icon = artIcon(Art::ProgramIcon);
    QCOMPARE(icon.pixmap(QSize(32, 32), 1.0).size(), QSize(32, 32));
    QCOMPARE(icon.pixmap(QSize(48, 48), 1.0).size(), QSize(48, 48));
}

QTEST_MAIN(TestSkin)
#include "test_skin.moc"

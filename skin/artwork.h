#pragma once
// The program's own pictures and icons, drawn as SVG and compiled into the
// program. Each is rendered at its designed size (times the device pixel ratio
// when one is given, so it stays sharp on dense screens).
//
// Two ways of carrying them, chosen by the build: the SVG drawings, rendered
// at run time (Qt Svg), or PNG renderings made from them on the build machine
// at every size and pixel ratio listed by artRenditions() and
// artPixelRatios(), for a Qt without Qt Svg (the Windows build). A PNG build
// asked for a size or ratio not in the lists scales the nearest larger
// rendering.

#include <QIcon>
#include <QPixmap>
#include <QSize>

#include <span>
#include <vector>

namespace pj::skin {

enum class Art {
    CloseNormal = 103,       // 44 x 19
    MinimiseNormal = 106,    // 25 x 19
    AboutButton = 123,       // 80 x 40, main panel
    HelpButton = 138,        // 80 x 40, main panel
    MonitorButton = 143,     // 80 x 40, main panel
    CaptionStrip = 147,      // 1 x 26, stretched along the caption strip
    CloseHover = 148,        // 44 x 19
    ClosePressed = 149,      // 44 x 19
    MinimisePressed = 150,   // 25 x 19
    MinimiseHover = 151,     // 25 x 19
    ArrowOut = 152,          // 14 x 60, folds the notes pane out
    ArrowIn = 153,           // 14 x 60, folds the notes pane in
    ProgramIcon = 114,       // drawn at 18 x 18 on the strip
    NodeClosed = 127,        // 16 x 16, catalogue tree image 0
    NodeOpen = 126,          // 16 x 16, catalogue tree image 1
    NodeRoot = 128,          // 16 x 16, catalogue tree image 2
    StatusConfirmed = 136,   // 16 x 16, green tick
    StatusUnconfirmed = 137, // 16 x 16, question mark
};

// Designed size of a picture or icon (icons: their usual drawing size).
QSize artSize(Art a);

// Resource path of the picture at its designed size: the SVG
// (":/skin/<id>.svg") or, in a PNG build, its rendering at ratio 1.
QString artPath(Art a);

// The picture at `size` (default: its designed size) in logical pixels,
// rendered for `devicePixelRatio`. A missing resource gives a null pixmap.
QPixmap artPixmap(Art a, QSize size = {}, double devicePixelRatio = 1.0);

// An icon that renders the SVG at whatever size is asked (a PNG build: made
// of the picture's renderings).
QIcon artIcon(Art a);

// The sizes each picture is drawn at by the programs: its designed size, and
// for the program icon the sizes of About, of window icons and of the icon file.
struct ArtRendition {
    Art art;
    QSize size;
};
std::vector<ArtRendition> artRenditions();
// The device pixel ratios the renderings are made for: 1 to 2 in steps of
// 0.25 (the scale factors of Windows' display settings up to 200 %).
std::span<const double> artPixelRatios();
// File name of a rendering: "<id>-<w>x<h>@<ratio × 100>.png" ("103-44x19@125.png").
QString artRenditionName(Art a, QSize size, double devicePixelRatio);
// The picture's pixel size at `size` for `devicePixelRatio`.
QSize artDeviceSize(QSize size, double devicePixelRatio);
// Every picture, in the order of their identifiers.
std::span<const Art> allArt();

} // namespace pj::skin

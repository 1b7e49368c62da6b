#pragma once
// The two Chinese faces of the windows, "宋体" and "黑体", mapped to what the
// machine has: SimSun / SimHei where installed, else the Noto CJK families
// (Noto Serif CJK SC for the Song face, Noto Sans CJK SC for the Hei face).

#include <QFont>
#include <QString>

namespace pj::skin {

// The installed family that stands for `face` ("宋体", "黑体", or any other
// name, which is returned unchanged when installed, else the Sans fallback).
QString fontFamilyFor(const QString& face);

// A font of `face` whose character cell is `pixelHeight` high and, when
// `averageWidth` > 0, whose average character is that many pixels wide
// (obtained by stretching the face horizontally).
QFont skinFont(const QString& face, int pixelHeight, int averageWidth = 0);

// The font of the dialogs' controls ("MS Shell Dlg" 8 in the dialog
// templates): the Song face at 9 points.
QFont dialogFont();

} // namespace pj::skin

#include "skin/fonts.h"

#include <QFontDatabase>

#include <algorithm>
#include <cmath>

namespace pj::skin {

namespace {

bool installed(const QString& family) {
    return QFontDatabase::hasFamily(family);
}

QString firstInstalled(std::initializer_list<const char16_t*> names) {
    for (const auto* n : names) {
        const QString family = QString::fromUtf16(n);
        if (installed(family))
            return family;
    }
    return {};
}

} // namespace

QString fontFamilyFor(const QString& face) {
    const QString song = QStringLiteral("宋体");
    const QString hei = QStringLiteral("黑体");
    QString found;
    if (face == song || face.compare(QStringLiteral("SimSun"), Qt::CaseInsensitive) == 0)
        found = firstInstalled({u"SimSun", u"宋体", u"Noto Serif CJK SC", u"Noto Sans CJK SC"});
    else if (face == hei || face.compare(QStringLiteral("SimHei"), Qt::CaseInsensitive) == 0)
        found = firstInstalled({u"SimHei", u"黑体", u"Noto Sans CJK SC", u"Noto Serif CJK SC"});
    else if (installed(face))
        found = face;
    else
        found = firstInstalled({u"Noto Sans CJK SC"});
    return found.isEmpty() ? face : found;
}

QFont skinFont(const QString& face, int pixelHeight, int averageWidth) {
    // The Chinese dialog faces (SimSun, SimHei) have a square em equal to their
    // character cell, so the cell height is used as the pixel size; a
    // Latin character is half a cell wide, which is the face's natural average
    // width. A different average width is obtained by stretching.
    QFont f(fontFamilyFor(face));
    const int height = std::max(1, pixelHeight);
    f.setPixelSize(height);
    f.setStyleStrategy(QFont::PreferAntialias);
    if (averageWidth > 0) {
        const double natural = height / 2.0;
        const int stretch = int(std::lround(100.0 * averageWidth / natural));
        f.setStretch(std::clamp(stretch, 50, 200));
    }
    return f;
}

QFont dialogFont() {
    QFont f(fontFamilyFor(QStringLiteral("宋体")));
    f.setPixelSize(12);
    return f;
}

} // namespace pj::skin

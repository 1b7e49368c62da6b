#include "skin/artwork.h"

#include "skin/artwork_render.h"

#include <QPixmapCache>

#include <cmath>

namespace pj::skin {

QSize artSize(Art a) {
    switch (a) {
    case Art::CloseNormal:
    case Art::CloseHover:
    case Art::ClosePressed:
        return {44, 19};
    case Art::MinimiseNormal:
    case Art::MinimiseHover:
    case Art::MinimisePressed:
        return {25, 19};
    case Art::AboutButton:
    case Art::HelpButton:
    case Art::MonitorButton:
        return {80, 40};
    case Art::CaptionStrip:
        return {1, 26};
    case Art::ArrowOut:
    case Art::ArrowIn:
        return {14, 60};
    case Art::ProgramIcon:
        return {18, 18};
    case Art::NodeClosed:
    case Art::NodeOpen:
    case Art::NodeRoot:
    case Art::StatusConfirmed:
    case Art::StatusUnconfirmed:
        return {16, 16};
    }
    return {};
}

std::span<const Art> allArt() {
    static const Art all[] = {
        Art::CloseNormal,       Art::MinimiseNormal, Art::ProgramIcon,     Art::AboutButton,
        Art::NodeOpen,          Art::NodeClosed,     Art::NodeRoot,        Art::StatusConfirmed,
        Art::StatusUnconfirmed, Art::HelpButton,     Art::MonitorButton,   Art::CaptionStrip,
        Art::CloseHover,        Art::ClosePressed,   Art::MinimisePressed, Art::MinimiseHover,
        Art::ArrowOut,          Art::ArrowIn,
    };
    return all;
}

std::vector<ArtRendition> artRenditions() {
    std::vector<ArtRendition> out;
    for (const Art a : allArt())
        out.push_back({a, artSize(a)});
    // The program icon: About (32), window and task-bar icons, the icon file.
    for (const int side : {16, 24, 32, 48, 64, 256})
        out.push_back({Art::ProgramIcon, {side, side}});
    return out;
}

std::span<const double> artPixelRatios() {
    static const double ratios[] = {1.0, 1.25, 1.5, 1.75, 2.0};
    return ratios;
}

QString artRenditionName(Art a, QSize size, double devicePixelRatio) {
    return QStringLiteral("%1-%2x%3@%4.png")
        .arg(static_cast<int>(a))
        .arg(size.width())
        .arg(size.height())
        .arg(static_cast<int>(std::lround(devicePixelRatio * 100)));
}

QSize artDeviceSize(QSize size, double devicePixelRatio) {
    return {int(std::lround(size.width() * devicePixelRatio)),
            int(std::lround(size.height() * devicePixelRatio))};
}

QString artPath(Art a) {
    return detail::artSourcePath(a);
}

QPixmap artPixmap(Art a, QSize size, double devicePixelRatio) {
    if (size.isEmpty())
        size = artSize(a);
    if (devicePixelRatio <= 0)
        devicePixelRatio = 1.0;
    // Pictures are drawn at every paint (the strip, the status icons of each
    // row): rendered once per size and ratio, then taken from the cache.
    const QString key = QStringLiteral("pj-art-%1-%2x%3@%4")
                            .arg(static_cast<int>(a))
                            .arg(size.width())
                            .arg(size.height())
                            .arg(devicePixelRatio);
    QPixmap pm;
    if (QPixmapCache::find(key, &pm))
        return pm;
    const QImage image =
        detail::renderArt(a, size, devicePixelRatio, artDeviceSize(size, devicePixelRatio));
    if (image.isNull())
        return {};
    pm = QPixmap::fromImage(image);
    pm.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pm);
    return pm;
}

QIcon artIcon(Art a) {
    return detail::makeArtIcon(a);
}

} // namespace pj::skin

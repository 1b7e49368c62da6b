#include "skin/artwork.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>

static void initSkinResources() {
    Q_INIT_RESOURCE(skin);
}

namespace pj::skin {

namespace {
void ensureResources() {
    static const bool done = [] {
        initSkinResources();
        return true;
    }();
    (void)done;
}
} // namespace

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

QString artPath(Art a) {
    ensureResources();
    return QStringLiteral(":/skin/%1.svg").arg(static_cast<int>(a));
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
    QSvgRenderer renderer(artPath(a));
    if (!renderer.isValid())
        return {};
    const QSize device(int(std::lround(size.width() * devicePixelRatio)),
                       int(std::lround(size.height() * devicePixelRatio)));
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(device)));
    }
    pm = QPixmap::fromImage(image);
    pm.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pm);
    return pm;
}

QIcon artIcon(Art a) {
    if (!QFile::exists(artPath(a)))
        return {};
    return QIcon(artPath(a));
}

} // namespace pj::skin

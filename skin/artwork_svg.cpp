// The pictures rendered from their SVG drawings at run time (Qt Svg).

#include "skin/artwork_render.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

static void initSkinResources() {
    Q_INIT_RESOURCE(skin);
}

namespace pj::skin::detail {

namespace {
void ensureResources() {
    static const bool done = [] {
        initSkinResources();
        return true;
    }();
    (void)done;
}
} // namespace

QString artSourcePath(Art a) {
    ensureResources();
    return QStringLiteral(":/skin/%1.svg").arg(static_cast<int>(a));
}

QImage renderArt(Art a, QSize, double, QSize device) {
    QSvgRenderer renderer(artSourcePath(a));
    if (!renderer.isValid())
        return {};
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(device)));
    }
    return image;
}

QIcon makeArtIcon(Art a) {
    if (!QFile::exists(artSourcePath(a)))
        return {};
    return QIcon(artSourcePath(a));
}

} // namespace pj::skin::detail

// The pictures taken from PNG renderings of the SVG drawings, made on the build
// machine by pj-artwork-png at every size and pixel ratio the programs use
// (artRenditions(), artPixelRatios()) and compiled in under ":/skin/png/". For
// a Qt without Qt Svg: nothing here needs it at run time.

#include "skin/artwork_render.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <vector>

static void initSkinPngResources() {
    Q_INIT_RESOURCE(skin_png);
}

namespace pj::skin::detail {

namespace {

struct Rendering {
    QSize size;   // logical
    double ratio; // device pixel ratio
    QSize device; // pixels
    QString path;
};

// Every rendering in the resources, by picture.
const QHash<int, std::vector<Rendering>>& renderings() {
    static const QHash<int, std::vector<Rendering>> index = [] {
        initSkinPngResources();
        QHash<int, std::vector<Rendering>> out;
        static const QRegularExpression name(QStringLiteral("^(\\d+)-(\\d+)x(\\d+)@(\\d+)\\.png$"));
        const QDir dir(QStringLiteral(":/skin/png"));
        for (const QString& file : dir.entryList(QDir::Files)) {
            const auto m = name.match(file);
            if (!m.hasMatch())
                continue;
            Rendering r;
            r.size = QSize(m.captured(2).toInt(), m.captured(3).toInt());
            r.ratio = m.captured(4).toInt() / 100.0;
            r.device = artDeviceSize(r.size, r.ratio);
            r.path = dir.filePath(file);
            out[m.captured(1).toInt()].push_back(r);
        }
        return out;
    }();
    return index;
}

// The rendering made for exactly this size and ratio; otherwise the smallest
// one at least as large in pixels (the same logical size first), otherwise
// the largest.
const Rendering* bestRendering(Art a, QSize size, double ratio, QSize device) {
    const auto it = renderings().find(static_cast<int>(a));
    if (it == renderings().end() || it->empty())
        return nullptr;
    const Rendering* best = nullptr;
    auto score = [&](const Rendering& r) {
        if (r.size == size && std::abs(r.ratio - ratio) < 0.001)
            return -1.0; // exact
        const bool covers =
            r.device.width() >= device.width() && r.device.height() >= device.height();
        const double area = double(r.device.width()) * r.device.height();
        const double sameSize = r.size == size ? 0.0 : 1e12;
        return covers ? sameSize + area : 1e15 - area;
    };
    double bestScore = std::numeric_limits<double>::max();
    for (const Rendering& r : *it) {
        const double s = score(r);
        if (s < bestScore) {
            bestScore = s;
            best = &r;
        }
    }
    return best;
}

} // namespace

QString artSourcePath(Art a) {
    (void)renderings();
    return QStringLiteral(":/skin/png/") + artRenditionName(a, artSize(a), 1.0);
}

QImage renderArt(Art a, QSize size, double devicePixelRatio, QSize device) {
    const Rendering* r = bestRendering(a, size, devicePixelRatio, device);
    if (r == nullptr)
        return {};
    QImage image(r->path);
    if (image.isNull())
        return {};
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.size() != device)
        image = image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QIcon makeArtIcon(Art a) {
    const auto it = renderings().find(static_cast<int>(a));
    if (it == renderings().end())
        return {};
    QIcon icon;
    for (const Rendering& r : *it)
        icon.addFile(r.path, r.device);
    return icon;
}

} // namespace pj::skin::detail

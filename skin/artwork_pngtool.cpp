// pj-artwork-png OUTDIR: renders every picture from its SVG drawing at every
// size and pixel ratio the programs use, as the SVG build draws it at run time,
// into OUTDIR/<id>-<w>x<h>@<ratio>.png, writes the resource file
// OUTDIR/skin_png.qrc that lists them under ":/skin/png/", and the program
// icon as OUTDIR/114.ico. Runs on the build machine for builds whose Qt has no
// Qt Svg (Windows). Use with QT_QPA_PLATFORM=offscreen.

#include "skin/artwork.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>

#include <cstdio>

using namespace pj::skin;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

void putLe16(QByteArray& b, int v) {
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void putLe32(QByteArray& b, qint64 v) {
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

// An icon file of PNG-compressed images (read by Windows Vista and later and
// by the resource compiler), one per size, each drawn at ratio 1.
QByteArray iconFile(Art a) {
    std::vector<QByteArray> images;
    std::vector<QSize> sizes;
    for (const ArtRendition& r : artRenditions()) {
        if (r.art != a || r.size.width() != r.size.height() || r.size.width() > 256)
            continue;
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!artPixmap(a, r.size, 1.0).toImage().save(&buffer, "PNG"))
            return {};
        images.push_back(png);
        sizes.push_back(r.size);
    }
    QByteArray ico;
    putLe16(ico, 0); // reserved
    putLe16(ico, 1); // icon
    putLe16(ico, int(images.size()));
    qint64 offset = 6 + 16 * qint64(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        ico.append(char(sizes[i].width() & 0xFF)); // 256 is written as 0
        ico.append(char(sizes[i].height() & 0xFF));
        ico.append(char(0)); // no palette
        ico.append(char(0));
        putLe16(ico, 1);  // planes
        putLe16(ico, 32); // bits per pixel
        putLe32(ico, images[i].size());
        putLe32(ico, offset);
        offset += images[i].size();
    }
    for (const QByteArray& png : images)
        ico += png;
    return ico;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pj-artwork-png OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "pj-artwork-png: cannot create %s\n", argv[1]);
        return 1;
    }
    QByteArray qrc = "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/skin/png\">\n";
    int written = 0;
    for (const ArtRendition& r : artRenditions()) {
        for (const double ratio : artPixelRatios()) {
            const QString name = artRenditionName(r.art, r.size, ratio);
            const QImage image = artPixmap(r.art, r.size, ratio).toImage();
            if (image.isNull() || image.size() != artDeviceSize(r.size, ratio)) {
                std::fprintf(stderr, "pj-artwork-png: %s could not be rendered\n",
                             qPrintable(name));
                return 1;
            }
            if (!image.save(out.filePath(name), "PNG")) {
                std::fprintf(stderr, "pj-artwork-png: cannot write %s\n", qPrintable(name));
                return 1;
            }
            qrc += "    <file>" + name.toUtf8() + "</file>\n";
            ++written;
        }
    }
    qrc += "</qresource>\n</RCC>\n";
    const QByteArray ico = iconFile(Art::ProgramIcon);
    if (ico.isEmpty() || !writeFile(out.filePath(QStringLiteral("114.ico")), ico)) {
        std::fprintf(stderr, "pj-artwork-png: cannot write 114.ico\n");
        return 1;
    }
    if (!writeFile(out.filePath(QStringLiteral("skin_png.qrc")), qrc)) {
        std::fprintf(stderr, "pj-artwork-png: cannot write skin_png.qrc\n");
        return 1;
    }
    std::printf("pj-artwork-png: %d renderings in %s\n", written, qPrintable(out.path()));
    return 0;
}

// pj-art-export OUTDIR SVGDIR SKINDIR: renders the setup artwork for the
// builds that cannot draw SVG at run time: the Win32 setup.exe and
// remover.exe (24-bit BMP pictures, ICO icons) and the POSIX menu entries
// (the program icon as PNG).
//
//   103.bmp 106.bmp   caption close / minimise, 14 x 14, on the caption blue
//   122.bmp 127.bmp   welcome picture 211 x 299, folder picture 33 x 33
//   139.bmp           banner 507 x 83
//   114.ico           program icon 16, 24, 32 and 48 pixels
//   132.ico ... 135.ico  folder-browser tree images, 16 x 16
//   projector.png     program icon, 128 x 128
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdint>
#include <iostream>
#include <vector>

namespace {

QImage render(const QString& svg, QSize size, QColor background = Qt::transparent) {
    QSvgRenderer renderer(svg);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(background);
    if (!renderer.isValid())
        return {};
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

void putU16(QByteArray& b, std::uint16_t v) {
    b.append(char(v & 0xFF)).append(char(v >> 8));
}

void putU32(QByteArray& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

// An icon file with one 32-bit DIB image per size (alpha channel and an AND
// mask), the form every Windows version and Wine load.
QByteArray iconFile(const std::vector<QImage>& images) {
    QByteArray header;
    putU16(header, 0);
    putU16(header, 1);
    putU16(header, std::uint16_t(images.size()));
    std::vector<QByteArray> dibs;
    for (const QImage& img : images) {
        const int w = img.width();
        const int h = img.height();
        QByteArray dib;
        putU32(dib, 40);
        putU32(dib, std::uint32_t(w));
        putU32(dib, std::uint32_t(h * 2));
        putU16(dib, 1);
        putU16(dib, 32);
        putU32(dib, 0);
        putU32(dib, 0);
        putU32(dib, 0);
        putU32(dib, 0);
        putU32(dib, 0);
        putU32(dib, 0);
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < w; ++x) {
                const QRgb c = img.pixel(x, y);
                dib.append(char(qBlue(c)))
                    .append(char(qGreen(c)))
                    .append(char(qRed(c)))
                    .append(char(qAlpha(c)));
            }
        }
        const int maskRow = ((w + 31) / 32) * 4;
        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(maskRow, '\0');
            for (int x = 0; x < w; ++x) {
                if (qAlpha(img.pixel(x, y)) == 0)
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            }
            dib.append(row);
        }
        dibs.push_back(dib);
    }
    std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
    QByteArray dir;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int w = images[i].width();
        dir.append(char(w >= 256 ? 0 : w)).append(char(w >= 256 ? 0 : w));
        dir.append('\0').append('\0');
        putU16(dir, 1);
        putU16(dir, 32);
        putU32(dir, std::uint32_t(dibs[i].size()));
        putU32(dir, offset);
        offset += std::uint32_t(dibs[i].size());
    }
    QByteArray out = header + dir;
    for (const auto& d : dibs)
        out += d;
    return out;
}

bool save(const QString& file, const QByteArray& bytes) {
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::cerr << "usage: pj-art-export OUTDIR SVGDIR SKINDIR\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QDir svg(QString::fromLocal8Bit(argv[2]));
    const QDir skin(QString::fromLocal8Bit(argv[3]));
    QDir().mkpath(out.path());
    int failures = 0;
    auto bmp = [&](const QString& name, QSize size, QColor background) {
        const QImage img = render(svg.filePath(name + QStringLiteral(".svg")), size, background)
                               .convertToFormat(QImage::Format_RGB888);
        if (img.isNull() || !img.save(out.filePath(name + QStringLiteral(".bmp")), "BMP"))
            ++failures;
    };
    const QColor caption(71, 115, 225);
    bmp(QStringLiteral("103"), {14, 14}, caption);
    bmp(QStringLiteral("106"), {14, 14}, caption);
    bmp(QStringLiteral("122"), {211, 299}, Qt::white);
    bmp(QStringLiteral("127"), {33, 33}, QColor(232, 232, 232));
    bmp(QStringLiteral("139"), {507, 83}, Qt::white);

    std::vector<QImage> programIcon;
    for (int s : {16, 24, 32, 48})
        programIcon.push_back(render(skin.filePath(QStringLiteral("114.svg")), {s, s}));
    if (!save(out.filePath(QStringLiteral("114.ico")), iconFile(programIcon)))
        ++failures;
    for (const char* n : {"132", "133", "134", "135"}) {
        const QString name = QString::fromLatin1(n);
        if (!save(out.filePath(name + QStringLiteral(".ico")),
                  iconFile({render(svg.filePath(name + QStringLiteral(".svg")), {16, 16})})))
            ++failures;
    }
    if (!render(skin.filePath(QStringLiteral("114.svg")), {128, 128})
             .save(out.filePath(QStringLiteral("projector.png")), "PNG"))
        ++failures;
    if (failures)
        std::cerr << "pj-art-export: " << failures << " pictures failed\n";
    return failures ? 1 : 0;
}

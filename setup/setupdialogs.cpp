#include "setup/setupdialogs.h"

#include "shell/dialogs/modal.h"
#include "skin/centre.h"
#include "skin/fonts.h"
#include "skin/setuppalette.h"
#include "skin/units.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStringDecoder>
#include <QSvgRenderer>

static void initSetupResources() {
    Q_INIT_RESOURCE(setup);
}

namespace pj::setup {

namespace {

void ensureResources() {
    static const bool done = [] {
        initSetupResources();
        return true;
    }();
    (void)done;
}

QRect px(int x, int y, int w, int h) {
    return skin::dlu(x, y, w, h);
}

// Licence files are read whole up to this size; more is no licence text.
constexpr qint64 kLicenceLimit = 1 << 20;

} // namespace

QPixmap setupPixmap(int id, QSize size) {
    ensureResources();
    QSvgRenderer renderer(QStringLiteral(":/setup/%1.svg").arg(id));
    if (!renderer.isValid())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return QPixmap::fromImage(image);
}

SetupDialog::SetupDialog(const QString& title, QSize sizeInDlu, QWidget* parent,
                         skin::CompactCaption::Program program)
    : QDialog(parent) {
    setWindowFlag(Qt::FramelessWindowHint, true);
    setModal(true);
    skin::SetupPalette::apply(this);
    setFont(skin::dialogFont());
    setWindowTitle(title);
    setFixedSize(skin::dluSize(sizeInDlu.width(), sizeInDlu.height()));
    new skin::CompactCaption(this, program, skin::CompactCaption::Kind::Dialog,
                             setupPixmap(103, {14, 14}), setupPixmap(106, {14, 14}));
    skin::centreOnScreen(this);
}

void SetupDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    skin::paintSetupFrame(p, rect());
}

void SetupDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    skin::centreOnScreen(this);
}

NoticeDialog::NoticeDialog(const QString& text, QWidget* parent,
                           skin::CompactCaption::Program program)
    : SetupDialog(QStringLiteral("提示"), {225, 109}, parent, program) {
    setObjectName(QStringLiteral("notice139"));
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("label1031"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setGeometry(px(7, 27, 211, 40));
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("button1030"));
    ok->setGeometry(px(75, 71, 60, 17));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });
}

int NoticeDialog::run(const QString& text, QWidget* parent, skin::CompactCaption::Program program) {
    NoticeDialog d(text, parent, program);
    return shell::runModal(d);
}

ExitConfirmDialog::ExitConfirmDialog(QWidget* parent)
    : SetupDialog(QStringLiteral("退出程序"), {225, 109}, parent) {
    setObjectName(QStringLiteral("exit125"));
    setFont(skin::skinFont(QStringLiteral("宋体"), 13));
    auto* line1 = new QLabel(QStringLiteral("安装未完成！如果您现在退出，程序将不会安装。"), this);
    line1->setObjectName(QStringLiteral("labelNotComplete"));
    line1->setGeometry(px(29, 28, 190, 12));
    auto* line2 = new QLabel(QStringLiteral("是否要退出？要退出则按“退出”，否则按“取消”。"), this);
    line2->setObjectName(QStringLiteral("labelQuestion"));
    line2->setGeometry(px(29, 43, 190, 12));
    auto* exitButton = new QPushButton(QStringLiteral("退出"), this);
    exitButton->setObjectName(QStringLiteral("button1015"));
    exitButton->setGeometry(px(56, 80, 47, 16));
    connect(exitButton, &QPushButton::clicked, this, [this] { done(1); });
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("button1016"));
    cancel->setGeometry(px(117, 80, 48, 16));
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, [this] { done(0); });
}

int ExitConfirmDialog::run(QWidget* parent) {
    ExitConfirmDialog d(parent);
    return shell::runModal(d);
}

QString loadLicenceText(const QString& startFolder) {
    QFile readme(startFolder + QStringLiteral("/readme.txt"));
    if (!readme.open(QIODevice::ReadOnly)) {
        ensureResources();
        readme.setFileName(QStringLiteral(":/setup/licence.txt"));
        if (!readme.open(QIODevice::ReadOnly))
            return {};
    }
    const QByteArray bytes = readme.read(kLicenceLimit);
    auto utf8 = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GB18030");
    if (gbk.isValid())
        return gbk.decode(bytes);
    return QString::fromLatin1(bytes);
}

} // namespace pj::setup

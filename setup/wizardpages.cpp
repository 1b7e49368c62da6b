#include "setup/wizardpages.h"

#include "install/product.h"
#include "setup/setupdialogs.h"
#include "skin/fonts.h"
#include "skin/setuppalette.h"
#include "skin/units.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <tuple>

namespace pj::setup {

namespace {

QRect px(int x, int y, int w, int h) {
    return skin::dlu(x, y, w, h);
}

// A page: filled white (welcome) or grey, no edge; the welcome page also
// paints its heading.
class PageWidget : public QWidget {
public:
    PageWidget(QWidget* host, int id, bool welcome)
        : QWidget(host)
        , welcome_(welcome) {
        setObjectName(QStringLiteral("page%1").arg(id));
        skin::SetupPalette::apply(this, welcome ? skin::SetupPalette::white()
                                                : skin::SetupPalette::background());
        setGeometry(welcome ? px(1, 0, 338, 184) : px(1, 50, 338, 142));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(),
                   welcome_ ? skin::SetupPalette::white() : skin::SetupPalette::background());
        if (welcome_) {
            p.setFont(skin::skinFont(QStringLiteral("黑体"), 16, 8));
            p.setPen(skin::SetupPalette::heading());
            const int baseline = 30 + (16 * 86 + 50) / 100;
            p.drawText(QPoint(215, baseline), QStringLiteral("欢迎使用 中控软件 安装向导"));
        }
    }

private:
    bool welcome_;
};

QLabel* label(QWidget* page, const QString& text, const QRect& r, const QString& name) {
    auto* l = new QLabel(text, page);
    l->setObjectName(name);
    l->setGeometry(r);
    return l;
}

void separator(QWidget* page, int x) {
    auto* line = new QFrame(page);
    line->setObjectName(QStringLiteral("lineBottom"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(px(x, 134, 316, 2));
}

} // namespace

QWidget* makeBanner(QWidget* host) {
    auto* banner = new QLabel(host);
    banner->setObjectName(QStringLiteral("banner138"));
    banner->setGeometry(px(1, 0, 338, 51));
    banner->setPixmap(setupPixmap(139, banner->size()));
    return banner;
}

QWidget* makeWelcomePage(QWidget* host) {
    auto* page = new PageWidget(host, 121, true);
    auto* picture = new QLabel(page);
    picture->setObjectName(QStringLiteral("picture122"));
    picture->setGeometry(px(0, 0, 141, 184));
    picture->setPixmap(setupPixmap(122, picture->size()));
    const QString title = QString::fromStdString(std::string(install::kProductTitle));
    // Up to the page's right edge; a line too long for the face wraps.
    for (auto [text, y, name] :
         {std::tuple{QStringLiteral("将在您的电脑上安装 ") + title, 54,
                     QStringLiteral("labelWillInstall")},
          std::tuple{QStringLiteral("建议您在继续之前关闭所有其他的应用程序"), 70,
                     QStringLiteral("labelCloseOthers")},
          std::tuple{QStringLiteral("点击“继续”进入下一步，或点击“取消”退出安装"), 86,
                     QStringLiteral("labelHowTo")}}) {
        QLabel* l = label(page, text, px(155, y, 181, y == 86 ? 30 : 16), name);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    label(page, QStringLiteral("作者：Vantor 教室多媒体工作组"), px(143, 126, 190, 10),
          QStringLiteral("labelAuthor"));
    label(page, QStringLiteral("联系：请与为您安装中控的工程商联系"), px(143, 143, 190, 10),
          QStringLiteral("labelContact"));
    label(page, title + QStringLiteral(" 版权所有，保留一切权利"), px(143, 158, 190, 10),
          QStringLiteral("labelOwnership"));
    return page;
}

LicencePage makeLicencePage(QWidget* host, const QString& licence, bool accepted) {
    auto* page = new PageWidget(host, 123, false);
    label(page, QStringLiteral("请阅读以下许可协议。在继续安装之前，您必须接收以此协议的条款"),
          px(23, 4, 300, 10), QStringLiteral("labelRead"));
    auto* edit = new QPlainTextEdit(licence, page);
    edit->setObjectName(QStringLiteral("edit1012"));
    edit->setGeometry(px(23, 18, 288, 76));
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* accept = new QRadioButton(QStringLiteral("我接受协议(&A)"), page);
    accept->setObjectName(QStringLiteral("radio1013"));
    accept->setGeometry(px(23, 103, 120, 10));
    auto* decline = new QRadioButton(QStringLiteral("我不接受协议(&D)"), page);
    decline->setObjectName(QStringLiteral("radio1014"));
    decline->setGeometry(px(23, 120, 120, 10));
    (accepted ? accept : decline)->setChecked(true);
    separator(page, 10);
    return {page, accept, decline};
}

FolderPage makeFolderPage(QWidget* host, const QString& folder) {
    auto* page = new PageWidget(host, 126, false);
    auto* picture = new QLabel(page);
    picture->setObjectName(QStringLiteral("picture127"));
    picture->setGeometry(QRect(px(29, 23, 0, 0).topLeft(), QSize(33, 33)));
    picture->setPixmap(setupPixmap(127, {33, 33}));
    label(page, QStringLiteral("安装程序将 “Vantor软件”  装到以下目录"), px(61, 29, 200, 10),
          QStringLiteral("labelWillInstall"));
    label(page, QStringLiteral("选择“继续”进入下一步。如果您要选择不同的文件夹，请点击“浏览”。"),
          px(27, 55, 300, 10), QStringLiteral("labelChoose"));
    auto* edit = new QLineEdit(folder, page);
    edit->setObjectName(QStringLiteral("edit1017"));
    edit->setGeometry(px(27, 79, 216, 14));
    auto* browse = new QPushButton(QStringLiteral("浏览(&R) . . ."), page);
    browse->setObjectName(QStringLiteral("button1018"));
    browse->setGeometry(px(255, 78, 54, 16));
    separator(page, 11);
    return {page, edit, browse};
}

ShortcutPage makeShortcutPage(QWidget* host, const QString& name) {
    auto* page = new PageWidget(host, 128, false);
    label(page, QStringLiteral("快捷方式名称："), px(47, 52, 62, 10), QStringLiteral("labelName"));
    auto* edit = new QLineEdit(name, page);
    edit->setObjectName(QStringLiteral("edit1020"));
    edit->setGeometry(px(111, 50, 133, 16));
    auto* box = new QCheckBox(QStringLiteral("是否创建桌面快捷方式"), page);
    box->setObjectName(QStringLiteral("check1019"));
    box->setGeometry(px(47, 81, 108, 13));
    box->setChecked(true);
    separator(page, 11);
    return {page, edit, box};
}

CopyingPage makeCopyingPage(QWidget* host) {
    auto* page = new PageWidget(host, 130, false);
    auto* bar = new QProgressBar(page);
    bar->setObjectName(QStringLiteral("progress1021"));
    bar->setGeometry(px(53, 55, 219, 13));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    separator(page, 11);
    return {page, bar};
}

} // namespace pj::setup

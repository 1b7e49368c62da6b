#include "shell/dialogs/messagedialog.h"

#include "shell/dialogs/modal.h"
#include "skin/units.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace pj::shell {

namespace {

struct ButtonSpec {
    int id;
    const char* text;
    QRect dlu; // x, y, w, h in dialog units
    int result;
};

struct TemplateSpec {
    QSize size;
    const char16_t* message;
    QRect messageDlu;
    ButtonSpec buttons[2];
    int buttonCount;
};

const TemplateSpec& spec(MessageDialog::Template t) {
    static const TemplateSpec k139{{131, 65},
                                   u"没找到数据库文件！",
                                   {32, 19, 79, 14},
                                   {{1055, "Ok", {47, 36, 37, 15}, 0}, {}},
                                   1};
    static const TemplateSpec k140{
        {155, 71},
        u"确定要删除吗？",
        {51, 23, 61, 14},
        {{1056, "Ok", {29, 44, 41, 15}, 1}, {1057, "Cancel", {85, 44, 42, 15}, 0}},
        2};
    static const TemplateSpec k141{
        {155, 71}, u"请填写型号！", {51, 23, 61, 14}, {{1060, "Ok", {51, 44, 41, 15}, 1}, {}}, 1};
    switch (t) {
    case MessageDialog::DatabaseMissing:
        return k139;
    case MessageDialog::ConfirmDelete:
        return k140;
    case MessageDialog::ModelNameMissing:
    case MessageDialog::Notice:
        break;
    }
    return k141;
}

QRect px(const QRect& d) {
    return pj::skin::dlu(d.x(), d.y(), d.width(), d.height());
}

} // namespace

MessageDialog::MessageDialog(Template t, QWidget* parent)
    : SkinnedDialog(QStringLiteral("警告"), spec(t).size, parent)
    , template_(t) {
    const TemplateSpec& s = spec(t);
    setObjectName(QStringLiteral("message%1").arg(int(t)));

    auto* text = new QLabel(QString::fromUtf16(s.message), this);
    text->setObjectName(QStringLiteral("label%1").arg(int(t)));
    text->setGeometry(px(s.messageDlu));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    for (int i = 0; i < s.buttonCount; ++i) {
        const ButtonSpec& b = s.buttons[i];
        auto* button = new QPushButton(QString::fromLatin1(b.text), this);
        button->setObjectName(QStringLiteral("button%1").arg(b.id));
        button->setGeometry(px(b.dlu));
        button->setDefault(i == 0);
        const int result = b.result;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    }
}

namespace {
constexpr int kNoticeWidthDlu = 200;
constexpr int kNoticeMarginDlu = 12;
} // namespace

MessageDialog::MessageDialog(const QString& text, QWidget* parent)
    : SkinnedDialog(QStringLiteral("警告"), QSize(kNoticeWidthDlu, 71), parent)
    , template_(Notice) {
    setObjectName(QStringLiteral("messageNotice"));
    const QRect area = px(QRect(kNoticeMarginDlu, 19, kNoticeWidthDlu - 2 * kNoticeMarginDlu, 14));
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("labelNotice"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int textHeight = std::max(area.height(), label->heightForWidth(area.width()));
    label->setGeometry(area.x(), area.y(), area.width(), textHeight);

    const QRect ok = px(QRect((kNoticeWidthDlu - 41) / 2, 0, 41, 15));
    auto* button = new QPushButton(QStringLiteral("Ok"), this);
    button->setObjectName(QStringLiteral("buttonNoticeOk"));
    const int gap = px(QRect(0, 0, 0, 8)).height();
    button->setGeometry(ok.x(), area.y() + textHeight + gap, ok.width(), ok.height());
    button->setDefault(true);
    connect(button, &QPushButton::clicked, this, [this] { done(1); });
    resizeAndCentre(QSize(width(), button->geometry().bottom() + gap));
}

int MessageDialog::notify(const QString& text, QWidget* parent) {
    MessageDialog d(text, parent);
    ModalSeam::Handler h;
    if (ModalSeam::take(h)) {
        ModalSeam::record(text);
        return h(d);
    }
    return d.exec();
}

int MessageDialog::run(Template t, QWidget* parent) {
    MessageDialog d(t, parent);
    return runModal(d);
}

} // namespace pj::shell

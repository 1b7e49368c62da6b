#include "shell/dialogs/aboutdialog.h"

#include "shell/dialogs/modal.h"
#include "skin/artwork.h"
#include "skin/units.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace pj::shell {

namespace {
QFrame* sunkenLine(QWidget* parent, const QString& name, const QRect& r) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(r.x(), r.y(), r.width(), std::max(2, r.height()));
    return line;
}
} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : SkinnedDialog(QStringLiteral("关于"), QSize(218, 139), parent) {
    using pj::skin::dlu;
    setObjectName(QStringLiteral("about125"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("iconProgram"));
    const QRect iconRect = dlu(7, 32, 20, 20);
    icon->setGeometry(iconRect.x(), iconRect.y(), 32, 32);
    icon->setPixmap(pj::skin::artPixmap(pj::skin::Art::ProgramIcon, {32, 32}, devicePixelRatioF()));

    sunkenLine(this, QStringLiteral("lineTop"), dlu(37, 49, 160, 1));

    auto* author = new QLabel(QStringLiteral("中控写码 PROJECTOR 0.1  中控写码开发组"), this);
    author->setObjectName(QStringLiteral("labelAuthor"));
    author->setGeometry(dlu(17, 64, 155, 10));

    auto* contact = new QLabel(QStringLiteral("联系方式请见帮助文件中的“联系我们”"), this);
    contact->setObjectName(QStringLiteral("labelContact"));
    contact->setGeometry(dlu(17, 78, 157, 12));

    sunkenLine(this, QStringLiteral("lineBottom"), dlu(7, 107, 204, 1));

    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("button1022"));
    ok->setGeometry(dlu(161, 117, 43, 15));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });
}

int AboutDialog::run(QWidget* parent) {
    AboutDialog d(parent);
    return runModal(d);
}

} // namespace pj::shell

#include "shell/editor/companydialog.h"

#include "shell/dialogs/modal.h"
#include "shell/editor/catalogueediting.h"
#include "shell/editor/treecommands.h"
#include "skin/units.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace pj::shell {

CompanyDialog::CompanyDialog(CatalogueEditing& editing, QWidget* parent)
    : SkinnedDialog(QStringLiteral("添加新公司"), QSize(kWidthDlu, kHeightDlu), parent)
    , editing_(editing) {
    setObjectName(QStringLiteral("company131"));

    auto* label = new QLabel(QStringLiteral("新公司名称"), this);
    label->setObjectName(QStringLiteral("labelName"));
    label->setGeometry(skin::dlu(12, 27, 44, 13));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("edit1024"));
    name_->setMaxLength(std::numeric_limits<int>::max()); // read whole, never cut
    const QRect r = skin::dlu(58, 27, 100, 13);
    name_->setGeometry(r.x(), r.y(), r.width(), std::max(r.height(), name_->sizeHint().height()));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("button1025"));
    ok->setGeometry(skin::dlu(60, 48, 50, 15));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CompanyDialog::onOk);
}

int CompanyDialog::run(CatalogueEditing& editing, QWidget* parent) {
    CompanyDialog d(editing, parent);
    return runModal(d);
}

void CompanyDialog::onOk() {
    const auto added = editing_.addCompany(name_->text());
    if (!added) {
        showEditError(this, added.error());
        name_->setFocus();
        name_->selectAll();
        return;
    }
    done(1);
}

} // namespace pj::shell

#include "shell/records/roomnamedialog.h"

#include "shell/dialogs/modal.h"
#include "skin/units.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pj::shell {

RoomNameDialog::RoomNameDialog(const QString& current, const QStringList& known, QWidget* parent)
    : SkinnedDialog(QStringLiteral("房间"), QSize(kWidthDlu, kHeightDlu), parent) {
    setObjectName(QStringLiteral("roomName"));

    auto* label = new QLabel(QStringLiteral("房间名称"), this);
    label->setObjectName(QStringLiteral("labelRoom"));
    label->setGeometry(skin::dlu(12, 24, 40, 13));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    name_ = new QComboBox(this);
    name_->setObjectName(QStringLiteral("comboRoom"));
    name_->setEditable(true);
    name_->setInsertPolicy(QComboBox::NoInsert);
    name_->addItems(known);
    name_->setCurrentIndex(-1);
    name_->setEditText(current);
    name_->lineEdit()->selectAll();
    name_->setGeometry(skin::dlu(54, 24, 134, 13));

    auto* note = new QLabel(QStringLiteral("写入将记在这个房间名下；留空则不记房间名。"), this);
    note->setObjectName(QStringLiteral("labelRoomNote"));
    note->setGeometry(skin::dlu(12, 41, 180, 12));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("buttonRoomOk"));
    ok->setGeometry(skin::dlu(84, 60, 50, 15));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("buttonRoomCancel"));
    cancel->setGeometry(skin::dlu(140, 60, 50, 15));
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(0); });
    name_->setFocus();
}

QString RoomNameDialog::roomName() const {
    return name_->currentText().trimmed();
}

std::optional<QString> RoomNameDialog::ask(const QString& current, const QStringList& known,
                                           QWidget* parent) {
    RoomNameDialog d(current, known, parent);
    if (runModal(d) != 1)
        return std::nullopt;
    return d.roomName();
}

} // namespace pj::shell

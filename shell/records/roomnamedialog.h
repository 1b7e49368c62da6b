#pragma once
// "房间": the room a write is recorded for, asked with each write while the
// record is kept. The name last used is offered again, the names the record
// knows are in the list; an empty name records the write without a room.
// "确定" (or Enter) goes on with the write, "取消" or closing leaves it unsent.
//
// Object names: the dialog "roomName", the name "comboRoom", the text
// "labelRoom", the note "labelRoomNote", the buttons "buttonRoomOk",
// "buttonRoomCancel".

#include "skin/skinneddialog.h"

#include <QStringList>

#include <optional>

class QComboBox;

namespace pj::shell {

class RoomNameDialog : public skin::SkinnedDialog {
    Q_OBJECT
public:
    static constexpr int kWidthDlu = 200;
    static constexpr int kHeightDlu = 82;

    RoomNameDialog(const QString& current, const QStringList& known, QWidget* parent = nullptr);

    QString roomName() const; // without surrounding blanks

    // Runs the dialog (through the modal seam): the name, or nullopt when the
    // write is not to go ahead.
    static std::optional<QString> ask(const QString& current, const QStringList& known,
                                      QWidget* parent);

private:
    QComboBox* name_ = nullptr;
};

} // namespace pj::shell

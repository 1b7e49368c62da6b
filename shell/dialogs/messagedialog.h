#pragma once
// The three fixed message dialogs of the code writer, each titled "警告":
// 139 "没找到数据库文件！" with "Ok" -> 0; 140 "确定要删除吗？" with "Ok" -> 1 and
// "Cancel" -> 0; 141 "请填写型号！" with "Ok" -> 1. Closing any of them returns 0.
// Object names: "label" + template number for the text ("label139"), "button" +
// control number for the buttons ("button1055", "button1056", "button1057",
// "button1060"), "message139" ... for the dialog itself.
//
// A notice in the same look, for a message the program composes (a change
// refused because someone else changed the catalogue): titled "警告", the
// text wrapped over as many lines as it needs, one "Ok" -> 1. Object names
// "messageNotice", "labelNotice", "buttonNoticeOk".

#include "skin/skinneddialog.h"

class QWidget;

namespace pj::shell {

class MessageDialog : public pj::skin::SkinnedDialog {
    Q_OBJECT
public:
    enum Template {
        DatabaseMissing = 139,
        ConfirmDelete = 140,
        ModelNameMissing = 141,
        Notice = 0, // the composed message
    };

    explicit MessageDialog(Template t, QWidget* parent = nullptr);
    // A notice with `text`.
    explicit MessageDialog(const QString& text, QWidget* parent = nullptr);

    Template templateId() const { return template_; }

    // Runs the dialog modally (through the modal seam) and returns its result.
    static int run(Template t, QWidget* parent = nullptr);
    // Shows a notice modally; through the modal seam as showMessage does
    // (the seam records the text).
    static int notify(const QString& text, QWidget* parent = nullptr);

private:
    Template template_;
};

} // namespace pj::shell

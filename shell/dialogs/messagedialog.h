#pragma once
// The three fixed message dialogs of the code writer, each titled "警告":
// 139 "没找到数据库文件！" with "Ok" -> 0; 140 "确定要删除吗？" with "Ok" -> 1 and
// "Cancel" -> 0; 141 "请填写型号！" with "Ok" -> 1. Closing any of them returns 0.
// Object names: "label" + template number for the text ("label139"), "button" +
// control number for the buttons ("button1055", "button1056", "button1057",
// "button1060"), "message139" ... for the dialog itself.

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
    };

    explicit MessageDialog(Template t, QWidget* parent = nullptr);

    Template templateId() const { return template_; }

    // Runs the dialog modally (through the modal seam) and returns its result.
    static int run(Template t, QWidget* parent = nullptr);

private:
    Template template_;
};

} // namespace pj::shell

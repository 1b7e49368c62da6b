#pragma once
// Dialog 131 "添加新公司": the new company's name ("新公司名称") and "确定".
// "确定" adds the company through the catalogue and ends the dialog with 1; an
// empty or blank name ("请填写公司名称！") or a name already present
// ("该公司名称已经存在!") is refused with its message and the dialog stays.
// There is no cancel button: closing the dialog ends it with 0 and adds nothing.
//
// Object names: the dialog "company131", the name "edit1024", the text
// "labelName", the button "button1025".

#include "skin/skinneddialog.h"

class QLineEdit;

namespace pj::shell {

class CatalogueEditing;

class CompanyDialog : public skin::SkinnedDialog {
    Q_OBJECT
public:
    static constexpr int kWidthDlu = 170;
    static constexpr int kHeightDlu = 72;

    explicit CompanyDialog(CatalogueEditing& editing, QWidget* parent = nullptr);

    // Runs the dialog modally (through the modal seam): 1 once a company was
    // added, 0 when closed.
    static int run(CatalogueEditing& editing, QWidget* parent);

private:
    void onOk();

    CatalogueEditing& editing_;
    QLineEdit* name_ = nullptr;
};

} // namespace pj::shell

#pragma once
// The model editor: dialog 132 "添加投影机" (a new model for a company) and
// dialog 133 "修改投影机" (a stored model changed). Both show the model name,
// the speed (an editable list "300" ... "115200"), the "ASCII码" switch, the
// parity ("无校验", "奇校验", "偶校验"), the key grid with "添加" and "删除"
// (greyed until a row is selected), "确定" and "取消".
//
// "确定" checks every value before anything is written (ModelEditorLogic):
// an empty name brings message dialog 141 "请填写型号！", any other refused
// value its message, and the refused field or grid cell is selected; the
// dialog stays open with everything as typed. Then one catalogue operation
// saves the model (CatalogueEditing); an error it returns ("该型号已经存在!",
// a failing database) is shown and the dialog stays. The result is 1 after a
// save, 0 after "取消" or closing. Enter and Escape only close the cell
// editor.
//
// Object names (132 / 133): the dialog "editor132" / "editor133"; name
// "edit1026" / "edit1031"; speed "combo1027"; switch "check1051" /
// "check1072"; parity "combo1083" / "combo1082"; grid "grid1028" /
// "grid1033"; "button1029" / "button1070" (添加), "button1059" / "button1071"
// (删除), "button1030" / "button1034" (确定), "button1058" / "button1036"
// (取消); the texts "labelName", "labelBaud", "labelParity". The grid's own
// names are in keygrid.h.

#include "catalogue/cataloguedb.h"
#include "shell/editor/modeleditorlogic.h"
#include "skin/skinneddialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace pj::shell {

class CatalogueEditing;
class KeyGrid;

class ModelEditor : public skin::SkinnedDialog {
    Q_OBJECT
public:
    enum class Mode { Add = 132, Modify = 133 };

    // Size in dialog units.
    static constexpr int kWidthDlu = 478;
    static constexpr int kHeightDlu = 226;

    // Dialog 132: a new model of `company`.
    ModelEditor(CatalogueEditing& editing, const QString& company, QWidget* parent = nullptr);
    // Dialog 133: `record`, a model of `company`, as stored.
    ModelEditor(CatalogueEditing& editing, const QString& company,
                const catalogue::ModelRecord& record, QWidget* parent = nullptr);

    Mode mode() const { return mode_; }
    ModelEditorLogic& logic() { return logic_; }
    KeyGrid* grid() const { return grid_; }

    // Runs the dialog modally (through the modal seam): 1 after a save, else 0.
    static int runAdd(CatalogueEditing& editing, const QString& company, QWidget* parent);
    static int runModify(CatalogueEditing& editing, const QString& company,
                         const catalogue::ModelRecord& record, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    ModelEditor(Mode mode, CatalogueEditing& editing, const QString& company, QWidget* parent);
    void build();
    void showValues();
    void readValues();
    void onCellClicked(int row, int column);
    void selectRow(int row); // 1-based, 0 none: highlight and "删除"
    void onAddRow();
    void onDeleteRow();
    void onOk();
    void point(const ModelEditorLogic::Problem& problem);

    Mode mode_;
    CatalogueEditing& editing_;
    QString company_;
    QString loadedName_; // the modified model's name as stored
    ModelEditorLogic logic_;

    QLineEdit* name_ = nullptr;
    QComboBox* baud_ = nullptr;
    QCheckBox* ascii_ = nullptr;
    QComboBox* parity_ = nullptr;
    KeyGrid* grid_ = nullptr;
    QPushButton* addRow_ = nullptr;
    QPushButton* deleteRow_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace pj::shell

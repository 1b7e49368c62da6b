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
// a failing database) is shown and the dialog stays. When someone else
// deleted, renamed or changed the model, or deleted its company, since the
// dialog read it, the save writes nothing: the Conflict message is shown,
// the tree is read again and the dialog closes with 0. The result is 1 after
// a save, 0 after "取消", closing or a conflict. Enter and Escape only close the cell
// editor.
//
// With the makers' framing rules (EditorServices::checker) each code is judged
// while it is typed: a code cell that breaks its maker's rule is tinted with
// the reason as its tooltip, and the line under the grid tells the reason of
// the code being typed, else of the selected row, else of the first flagged
// row, with the corrected code; "改正" puts that code right. "确定" with
// flagged codes asks once whether to save them as they are. "试发" sends the
// selected row's code to the projector at the speed and parity shown
// (EditorServices::testSend).
//
// Object names (132 / 133): the dialog "editor132" / "editor133"; name
// "edit1026" / "edit1031"; speed "combo1027"; switch "check1051" /
// "check1072"; parity "combo1083" / "combo1082"; grid "grid1028" /
// "grid1033"; "button1029" / "button1070" (添加), "button1059" / "button1071"
// (删除), "button1030" / "button1034" (确定), "button1058" / "button1036"
// (取消); the texts "labelName", "labelBaud", "labelParity"; the line under
// the grid "labelCheck" with "buttonFix" (改正), "buttonTestSend" (试发); the
// save question "questionCheck". The grid's own names are in keygrid.h.

#include "catalogue/cataloguedb.h"
#include "shell/dialogs/testsenddialog.h"
#include "shell/editor/modeleditorlogic.h"
#include "skin/skinneddialog.h"

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pj::shell {

class CatalogueEditing;
class KeyGrid;

// What the program lends the editor beyond the catalogue.
struct EditorServices {
    // The makers' framing rules; null: codes are not judged.
    std::shared_ptr<const codecheck::Checker> checker;
    // Sends a code to the projector and shows what comes back (a modal
    // dialog over `parent`); none: no "试发".
    std::function<void(const CodeTrial& trial, QWidget* parent)> testSend;
};

class ModelEditor : public skin::SkinnedDialog {
    Q_OBJECT
public:
    enum class Mode { Add = 132, Modify = 133 };

    // Size in dialog units.
    static constexpr int kWidthDlu = 478;
    static constexpr int kHeightDlu = 243;

    // Dialog 132: a new model of `company`.
    ModelEditor(CatalogueEditing& editing, const QString& company, QWidget* parent = nullptr,
                const EditorServices& services = {});
    // Dialog 133: `record`, a model of `company`, as stored.
    ModelEditor(CatalogueEditing& editing, const QString& company,
                const catalogue::ModelRecord& record, QWidget* parent = nullptr,
                const EditorServices& services = {});
    // An open cell editor is closed while the rows it writes to still exist.
    ~ModelEditor() override;

    Mode mode() const { return mode_; }
    ModelEditorLogic& logic() { return logic_; }
    KeyGrid* grid() const { return grid_; }

    // Runs the dialog modally (through the modal seam): 1 after a save, else 0.
    static int runAdd(CatalogueEditing& editing, const QString& company, QWidget* parent,
                      const EditorServices& services = {});
    static int runModify(CatalogueEditing& editing, const QString& company,
                         const catalogue::ModelRecord& record, QWidget* parent,
                         const EditorServices& services = {});

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    ModelEditor(Mode mode, CatalogueEditing& editing, const QString& company, QWidget* parent,
                const EditorServices& services);
    void build();
    void buildCheckLine(int gridRightDlu);
    void showValues();
    void readValues();
    void onCellClicked(int row, int column);
    void selectRow(int row); // 1-based, 0 none: highlight and "删除"
    void onAddRow();
    void onDeleteRow();
    void onOk();
    void point(const ModelEditorLogic::Problem& problem);
    // The line under the grid and the cell editor's tint, as the codes are now.
    void updateCheckLine();
    void onFix();
    void onTestSend();
    // Asks whether to save the flagged codes as they are; true for save.
    bool askSaveFlagged();

    Mode mode_;
    CatalogueEditing& editing_;
    QString company_;
    catalogue::ModelRecord loaded_; // the modified model as read
    EditorServices services_;
    ModelEditorLogic logic_;
    int fixRow_ = -1; // the row "改正" puts right; -1 none

    QLineEdit* name_ = nullptr;
    QComboBox* baud_ = nullptr;
    QCheckBox* ascii_ = nullptr;
    QComboBox* parity_ = nullptr;
    KeyGrid* grid_ = nullptr;
    QPushButton* addRow_ = nullptr;
    QPushButton* deleteRow_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* checkLine_ = nullptr;
    QPushButton* fix_ = nullptr;
    QPushButton* testSend_ = nullptr;
};

} // namespace pj::shell

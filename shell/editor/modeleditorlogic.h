#pragma once
// The model editor without its widgets: the values of the add and modify
// dialogs (model name, speed text, parity, ASCII switch, description, the key
// rows), which row is selected for "删除", loading a stored model, and the
// checks a save runs before anything reaches the catalogue.
//
// Every check is the catalogue's own (findInputFault and parseBaudText in
// catalogue/checks.h), which also says which value is refused, so that the
// dialog can point at it: the name field, the speed, the description, or one
// cell of the grid.
//
// With the makers' framing rules (codecheck::Checker) every code is also
// judged against its maker's rule as it is typed: the grid carries each
// flagged code's reason, a flagged code's correction is applied with one call,
// and a save with flagged codes asks once (the technician may know a model the
// rules do not).

#include "catalogue/cataloguedb.h"
#include "codecheck/checker.h"
#include "link/codetext.h"
#include "shell/editor/keygridmodel.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace pj::shell {

class ModelEditorLogic {
public:
    enum class Field { Name, Baud, Description, KeyName, KeyCode, KeySlot, Model };
    struct Problem {
        Field field = Field::Model;
        int row = -1;             // 0-based grid row for the key fields
        QString message;          // Chinese, shown to the user
        bool nameMissing = false; // shown as message dialog 141 "请填写型号！"
    };

    // "300", "600", ... "38400", "57600", "115200".
    static QStringList baudItems();
    // "无校验", "奇校验", "偶校验" (parity 0, 1, 2).
    static QStringList parityItems();
    static QString defaultBaudText() { return QStringLiteral("9600"); }
    static QString badBaudText() { return QStringLiteral("波特率无效"); }

    // A speed typed by the user: decimal digits only (blanks around them
    // allowed), greater than 0. nullopt otherwise ("abc", "", "0", "-1", "9600.5").
    // Values beyond 32 bits come back as 4294967295 for the catalogue to refuse.
    static std::optional<std::uint32_t> parseBaud(const QString& text);

    ModelEditorLogic() = default;
    ModelEditorLogic(const ModelEditorLogic&) = delete;
    ModelEditorLogic& operator=(const ModelEditorLogic&) = delete;

    // The values the dialog's controls hold. Kept here so that the checks and
    // the input read one place.
    QString name;
    QString baudText = defaultBaudText();
    int parity = 0;
    bool ascii = false;
    QString description;
    KeyGridModel& grid() { return grid_; }
    const KeyGridModel& grid() const { return grid_; }

    // A stored model as the modify dialog shows it: name, speed, description
    // and keys, the switch and the parity from the last key (off and "无校验"
    // without keys). With the switch on, each code shows its characters (the
    // stored text without its closing byte). When the stored codes cannot be
    // shown that way and saved back unchanged (keys that disagree on ISASCII,
    // a code without its closing carriage return, a byte that is no printable
    // character), every code shows its stored hex text and the switch is off,
    // so that saving keeps every code's bytes.
    void load(const catalogue::ModelRecord& record);
    // Whether load() had to show an ASCII model's codes as hex text.
    bool asciiShownAsHex() const { return asciiShownAsHex_; }

    // The row selected for "删除", from 1; 0 when none.
    int selectedRow() const { return selectedRow_; }
    bool canDeleteRow() const { return selectedRow_ >= 1 && selectedRow_ <= grid_.rowCount(); }
    // A click on a grid cell (row -1: below the last row). A click on "功能键"
    // or "功能码" selects the row and answers true: that cell is edited in
    // place. Any other click clears the selection and answers false.
    bool clickCell(int row, int column);
    void addRow();
    // Deletes the selected row; the selected number stays, so it now names
    // the row that moved up. False when no row is selected.
    bool deleteSelectedRow();

    // The first refused value, in the order name, speed, description, then
    // row by row key name, slot and code; nullopt when the model can be saved.
    std::optional<Problem> check() const;
    // What is saved: the name without surrounding blanks, the parsed speed,
    // the keys as typed (ASCII text is turned into hex by the catalogue).
    catalogue::ModelInput input() const;

    // --- The makers' framing rules ---

    // Judges every code of `company` (as the catalogue names it) from now on;
    // null: codes are not judged.
    void setChecker(std::shared_ptr<const codecheck::Checker> checker, const QString& company);
    // Call when the name or the switch changed: the rules and the bytes of
    // every code may be others now.
    void recheckCodes() { grid_.recheckCodes(); }
    // Whether some rule applies to this company and the model's name.
    bool codesChecked() const;
    // The maker's Latin name ("Epson"); empty when unknown or without a checker.
    QString maker() const;
    // A code as typed, judged with the model's name and switch as they are;
    // nullopt without a checker or for a blank text (nothing typed yet).
    std::optional<codecheck::CodeReport> checkCode(const QString& code) const;
    // The findings' messages, joined: "缺少结束符 0d；校验和应为 5f（现为 5e）".
    static QString problemText(const codecheck::CodeReport& report);
    // The correction as the user reads it: "50 57 52 0d", or with the switch
    // to be turned off "（关闭 ASCII码）28 50 57 29"; empty when there is none.
    QString fixText(const codecheck::CodeReport& report) const;

    // Puts row's code right as the checker says. A correction that needs the
    // switch off shows every other code as its hex text (their bytes stay) and
    // turns the switch off. nullopt when applied, else why not.
    std::optional<QString> applyFix(int row);

    // The bytes row's code stands for with the switch as it is (as it would be
    // stored); nullopt when the text is no code, with the reason in `why`.
    std::optional<link::Bytes> codeBytes(int row, QString* why = nullptr) const;

    // The flagged codes a save would store, one line each ("第 2 行 开机：缺少结束符 0d").
    QStringList flaggedLines() const;
    // Whether "确定" must ask before saving: some flagged code was not yet let through.
    bool saveNeedsQuestion() const;
    // The technician lets the flagged codes as they are now be saved.
    void allowFlaggedCodes();

private:
    QString problemOf(const QString& code) const;

    KeyGridModel grid_;
    int selectedRow_ = 0;
    bool asciiShownAsHex_ = false;
    std::shared_ptr<const codecheck::Checker> checker_;
    std::string company_;
    QStringList allowed_; // flagged codes let through ("1:PWR ON": switch and text)
};

} // namespace pj::shell

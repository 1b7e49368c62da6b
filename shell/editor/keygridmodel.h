#pragma once
// The rows of the model editor's key grid: one row per key with its display
// name ("功能键"), its code as the user sees it ("功能码": hex text, or plain
// characters when the model's ASCII switch is on) and its slot ("状态", one of
// the 18 controller keys). Column "ID" shows the row's number from 1, so it is
// renumbered whenever a row goes; column "备注" holds nothing (the model's
// description lies over it).
//
// A code that breaks its maker's framing rule carries the reason ("缺少结束符
// 0d"), which the grid shows as the cell's tint and tooltip. The reason comes
// from a check function the editor's logic installs; every code is checked
// again when it changes, when rows come and when the check itself changes.

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace pj::shell {

struct KeyRow {
    QString name;
    QString code;
    int slot = 0; // 0..17; another value is kept as it came until the user picks one
    bool operator==(const KeyRow&) const = default;
};

class KeyGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { IdColumn = 0, NameColumn, CodeColumn, SlotColumn, RemarkColumn };
    static constexpr int kColumnCount = 5;
    // Column widths in pixels; the columns cannot be resized.
    static constexpr int kColumnWidths[kColumnCount] = {40, 90, 350, 55, 120};

    // The 18 key names in slot order ("开机1" ... "静音").
    static QStringList slotNames();

    // Data role of the code column: why the code breaks its maker's rule
    // (a QString, empty when it keeps it or is not checked).
    static constexpr int ProblemRole = Qt::UserRole + 1;
    // What is wrong with a code as typed; empty when nothing is.
    using CodeCheck = std::function<QString(const QString& code)>;

    explicit KeyGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // DisplayRole and EditRole: the texts; for column "状态" EditRole is the slot.
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const QList<KeyRow>& rows() const { return rows_; }
    void setRows(QList<KeyRow> rows);
    // A new last row: slot 0 ("开机1"), empty name and code.
    void appendRow();
    // Removes the row; the rows after it move up with their values.
    bool removeRowAt(int row);

    // Installs the check (none: no code is flagged) and checks every code.
    void setCodeCheck(CodeCheck check);
    // Checks every code again (what the check depends on has changed).
    void recheckCodes();
    // Why row's code breaks its rule; empty when it does not.
    QString codeProblem(int row) const;
    // The rows whose codes break their rules, in order.
    QList<int> flaggedRows() const;

Q_SIGNALS:
    // Some code's problem appeared, changed or went.
    void codeProblemsChanged();

private:
    QString problemOf(const QString& code) const;
    // Sets row's problem; true when it changed.
    bool setProblem(int row, const QString& problem);

    QList<KeyRow> rows_;
    QList<QString> problems_; // one per row
    CodeCheck check_;
};

} // namespace pj::shell

#pragma once
// The rows of the model editor's key grid: one row per key with its display
// name ("功能键"), its code as the user sees it ("功能码": hex text, or plain
// characters when the model's ASCII switch is on) and its slot ("状态", one of
// the 18 controller keys). Column "ID" shows the row's number from 1, so it is
// renumbered whenever a row goes; column "备注" holds nothing (the model's
// description lies over it).

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

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

private:
    QList<KeyRow> rows_;
};

} // namespace pj::shell

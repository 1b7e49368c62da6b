#pragma once
// The rows of the selected model as a table: "选择" (the row's check box),
// "名称" (the key name), "状态" (question mark or tick) and "备注" (covered by
// the model's description). The rows themselves live in the SelectedModel that
// the program owns; every change goes through this class so views follow it.

#include "link/codetext.h"
#include "link/state.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <optional>
#include <span>

namespace pj::shell {

class CodeListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { SelectColumn = 0, NameColumn = 1, StatusColumn = 2, RemarkColumn = 3 };
    static constexpr int kColumnCount = 4;
    // Column widths in pixels; the columns cannot be resized.
    static constexpr int kColumnWidths[kColumnCount] = {50, 200, 60, 120};
    // Data role of the status column: an int holding a link::RowStatus.
    static constexpr int StatusRole = Qt::UserRole + 1;

    explicit CodeListModel(link::SelectedModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const link::SelectedModel& selectedModel() const { return model_; }

    // Replaces the rows (a fresh model was selected).
    void setRows(link::CodeList rows);
    void clear();

    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    // Toggles the row's box; false for a row that does not exist.
    bool toggle(int row);
    link::RowStatus status(int row) const;
    void setStatus(int row, link::RowStatus status);
    // Ticks the first row whose code bytes are exactly `block`; returns its index.
    std::optional<int> matchEcho(std::span<const std::uint8_t> block);

private:
    bool validRow(int row) const;

    link::SelectedModel& model_;
};

} // namespace pj::shell

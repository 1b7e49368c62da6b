#include "shell/codelistmodel.h"

#include "link/sequences.h"

namespace pj::shell {

CodeListModel::CodeListModel(link::SelectedModel& model, QObject* parent)
    : QAbstractTableModel(parent)
    , model_(model) {}

int CodeListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(model_.rows.size());
}

int CodeListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CodeListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !validRow(index.row()))
        return {};
    const auto& entry = model_.rows[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case SelectColumn:
        if (role == Qt::CheckStateRole)
            return entry.selected ? Qt::Checked : Qt::Unchecked;
        break;
    case NameColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return QString::fromStdString(entry.name);
        break;
    case StatusColumn:
        if (role == StatusRole)
            return static_cast<int>(entry.status);
        break;
    default:
        break;
    }
    return {};
}

bool CodeListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != SelectColumn || role != Qt::CheckStateRole ||
        !validRow(index.row()))
        return false;
    setSelected(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant CodeListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case SelectColumn:
            return QStringLiteral("选择");
        case NameColumn:
            return QStringLiteral("名称");
        case StatusColumn:
            return QStringLiteral("状态");
        case RemarkColumn:
            return QStringLiteral("备注");
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags CodeListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == SelectColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void CodeListModel::setRows(link::CodeList rows) {
    beginResetModel();
    model_.rows = std::move(rows);
    endResetModel();
}

void CodeListModel::clear() {
    if (model_.rows.empty())
        return;
    beginResetModel();
    model_.rows.clear();
    endResetModel();
}

bool CodeListModel::validRow(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < model_.rows.size();
}

bool CodeListModel::isSelected(int row) const {
    return validRow(row) && model_.rows[static_cast<std::size_t>(row)].selected;
}

void CodeListModel::setSelected(int row, bool selected) {
    if (!validRow(row))
        return;
    auto& entry = model_.rows[static_cast<std::size_t>(row)];
    if (entry.selected == selected)
        return;
    entry.selected = selected;
    const QModelIndex cell = index(row, SelectColumn);
    Q_EMIT dataChanged(cell, cell, {Qt::CheckStateRole});
}

bool CodeListModel::toggle(int row) {
    if (!validRow(row))
        return false;
    setSelected(row, !isSelected(row));
    return true;
}

link::RowStatus CodeListModel::status(int row) const {
    return validRow(row) ? model_.rows[static_cast<std::size_t>(row)].status
                         : link::RowStatus::Unconfirmed;
}

void CodeListModel::setStatus(int row, link::RowStatus status) {
    if (!validRow(row))
        return;
    auto& entry = model_.rows[static_cast<std::size_t>(row)];
    if (entry.status == status)
        return;
    entry.status = status;
    const QModelIndex cell = index(row, StatusColumn);
    Q_EMIT dataChanged(cell, cell, {StatusRole});
}

std::optional<int> CodeListModel::matchEcho(std::span<const std::uint8_t> block) {
    const std::optional<std::size_t> row = link::matchEcho(model_.rows, block);
    if (!row)
        return std::nullopt;
    const QModelIndex cell = index(static_cast<int>(*row), StatusColumn);
    Q_EMIT dataChanged(cell, cell, {StatusRole});
    return static_cast<int>(*row);
}

} // namespace pj::shell

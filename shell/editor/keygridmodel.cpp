#include "shell/editor/keygridmodel.h"

#include "catalogue/functionkeys.h"

namespace pj::shell {

QStringList KeyGridModel::slotNames() {
    QStringList names;
    for (const auto& key : catalogue::kFunctionKeyTable)
        names << QString::fromUtf8(key.name.data(), static_cast<qsizetype>(key.name.size()));
    return names;
}

KeyGridModel::KeyGridModel(QObject* parent)
    : QAbstractTableModel(parent) {}

int KeyGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int KeyGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant KeyGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    if (role == ProblemRole)
        return index.column() == CodeColumn ? QVariant(problems_[index.row()]) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)
        return {};
    const KeyRow& row = rows_[index.row()];
    switch (index.column()) {
    case IdColumn:
        return role == Qt::ToolTipRole ? QVariant() : QVariant(QString::number(index.row() + 1));
    case NameColumn:
        return row.name;
    case CodeColumn:
        // A flagged code's tooltip says what is wrong with it.
        if (role == Qt::ToolTipRole && !problems_[index.row()].isEmpty())
            return problems_[index.row()];
        return row.code;
    case SlotColumn: {
        if (role == Qt::EditRole)
            return row.slot;
        const auto name = catalogue::functionKeyName(row.slot);
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    default:
        return {};
    }
}

bool KeyGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rows_.size() || role != Qt::EditRole)
        return false;
    KeyRow& row = rows_[index.row()];
    switch (index.column()) {
    case NameColumn:
        row.name = value.toString();
        break;
    case CodeColumn:
        row.code = value.toString();
        if (setProblem(index.row(), problemOf(row.code))) {
            Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole, ProblemRole});
            Q_EMIT codeProblemsChanged();
            return true;
        }
        break;
    case SlotColumn: {
        bool ok = false;
        const int slot = value.toInt(&ok);
        if (!ok || !catalogue::isValidSlot(slot))
            return false;
        row.slot = slot;
        break;
    }
    default:
        return false;
    }
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant KeyGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case IdColumn:
        return QStringLiteral("ID");
    case NameColumn:
        return QStringLiteral("功能键");
    case CodeColumn:
        return QStringLiteral("功能码");
    case SlotColumn:
        return QStringLiteral("状态");
    case RemarkColumn:
        return QStringLiteral("备注");
    default:
        return {};
    }
}

Qt::ItemFlags KeyGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == NameColumn || index.column() == CodeColumn ||
        index.column() == SlotColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

void KeyGridModel::setRows(QList<KeyRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    problems_.clear();
    for (const KeyRow& row : rows_)
        problems_.append(problemOf(row.code));
    endResetModel();
    Q_EMIT codeProblemsChanged();
}

void KeyGridModel::appendRow() {
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row);
    rows_.append(KeyRow{});
    problems_.append(problemOf(QString()));
    endInsertRows();
    if (!problems_.last().isEmpty())
        Q_EMIT codeProblemsChanged();
}

bool KeyGridModel::removeRowAt(int row) {
    if (row < 0 || row >= rows_.size())
        return false;
    beginRemoveRows({}, row, row);
    rows_.removeAt(row);
    const bool flagged = !problems_.takeAt(row).isEmpty();
    endRemoveRows();
    if (flagged)
        Q_EMIT codeProblemsChanged();
    // The rows that moved up show their new numbers.
    if (row < rows_.size())
        Q_EMIT dataChanged(index(row, IdColumn),
                           index(static_cast<int>(rows_.size()) - 1, IdColumn), {Qt::DisplayRole});
    return true;
}

void KeyGridModel::setCodeCheck(CodeCheck check) {
    check_ = std::move(check);
    recheckCodes();
}

void KeyGridModel::recheckCodes() {
    bool changed = false;
    for (int r = 0; r < rows_.size(); ++r) {
        if (setProblem(r, problemOf(rows_[r].code))) {
            const QModelIndex cell = index(r, CodeColumn);
            Q_EMIT dataChanged(cell, cell, {ProblemRole});
            changed = true;
        }
    }
    if (changed)
        Q_EMIT codeProblemsChanged();
}

QString KeyGridModel::codeProblem(int row) const {
    return row >= 0 && row < problems_.size() ? problems_[row] : QString();
}

QList<int> KeyGridModel::flaggedRows() const {
    QList<int> out;
    for (int r = 0; r < problems_.size(); ++r)
        if (!problems_[r].isEmpty())
            out.append(r);
    return out;
}

QString KeyGridModel::problemOf(const QString& code) const {
    return check_ ? check_(code) : QString();
}

bool KeyGridModel::setProblem(int row, const QString& problem) {
    if (problems_[row] == problem)
        return false;
    problems_[row] = problem;
    return true;
}

} // namespace pj::shell

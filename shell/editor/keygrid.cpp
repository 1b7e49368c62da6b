#include "shell/editor/keygrid.h"

#include "skin/fonts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <limits>

namespace pj::shell {

namespace {

class KeyGridDelegate : public QStyledItemDelegate {
public:
    explicit KeyGridDelegate(QObject* parent)
        : QStyledItemDelegate(parent)
        , slotFont_(skin::skinFont(QStringLiteral("宋体"), 11, 5))
        , cellFont_(skin::skinFont(QStringLiteral("宋体"), 12, 6))
        , slotNames_(KeyGridModel::slotNames()) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        if (index.column() == KeyGridModel::SlotColumn) {
            auto* box = new QComboBox(parent);
            box->setObjectName(
                QStringLiteral("combo%1").arg(KeyGrid::kFirstSlotBoxId + index.row()));
            box->setFont(slotFont_);
            box->addItems(slotNames_);
            box->setMaxVisibleItems(static_cast<int>(box->count()));
            auto* self = const_cast<KeyGridDelegate*>(this);
            QObject::connect(box, &QComboBox::currentIndexChanged, self,
                             [self, box](int) { Q_EMIT self->commitData(box); });
            return box;
        }
        if (index.column() == KeyGridModel::NameColumn ||
            index.column() == KeyGridModel::CodeColumn) {
            auto* edit = new QLineEdit(parent);
            edit->setObjectName(QStringLiteral("edit%1").arg(KeyGrid::kCellEditorId));
            edit->setFont(cellFont_);
            edit->setFrame(true);
            edit->setMaxLength(std::numeric_limits<int>::max()); // read whole, never cut
            return edit;
        }
        return nullptr;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            const int slot = index.data(Qt::EditRole).toInt();
            if (box->currentIndex() != slot) {
                const QSignalBlocker quiet(box);
                box->setCurrentIndex(slot >= 0 && slot < box->count() ? slot : -1);
            }
            return;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            edit->setText(index.data(Qt::EditRole).toString());
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            if (box->currentIndex() >= 0 && box->currentIndex() != index.data(Qt::EditRole).toInt())
                model->setData(index, box->currentIndex(), Qt::EditRole);
            return;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            model->setData(index, edit->text(), Qt::EditRole);
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        // A drop-down whose row went must not be found under its row's name
        // while it waits to be deleted.
        editor->setObjectName(QString());
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        // Escape in the cell editor keeps what was typed, as every other way
        // of leaving it does.
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (auto* edit = qobject_cast<QLineEdit*>(object)) {
                Q_EMIT commitData(edit);
                Q_EMIT closeEditor(edit, QAbstractItemDelegate::NoHint);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const bool flagged = !index.data(KeyGridModel::ProblemRole).toString().isEmpty();
        option->backgroundBrush = flagged ? KeyGrid::flaggedColour() : KeyGrid::rowColour();
    }

private:
    QFont slotFont_; // the drop-downs' "宋体" 11 x 5
    QFont cellFont_; // the cell editor's "宋体" 12 x 6
    QStringList slotNames_;
};

} // namespace

KeyGrid::KeyGrid(KeyGridModel& model, QWidget* parent)
    : QTableView(parent)
    , model_(model) {
    setModel(&model);
    setItemDelegate(new KeyGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setIconSize(QSize(18, 18));

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(kRowHeight);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* columns = horizontalHeader();
    columns->setFixedHeight(kHeaderHeight);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(false);
    columns->setSectionsMovable(false);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(1);
    for (int c = 0; c < KeyGridModel::kColumnCount; ++c) {
        columns->setSectionResizeMode(c, QHeaderView::Fixed);
        columns->resizeSection(c, KeyGridModel::kColumnWidths[c]);
    }

    description_ = new QPlainTextEdit(this);
    description_->setObjectName(QStringLiteral("edit1012"));
    description_->setFont(skin::skinFont(QStringLiteral("黑体"), 13, 6));
    description_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    description_->setTabChangesFocus(true);
    placeDescription();

    connect(&model, &QAbstractItemModel::rowsInserted, this, &KeyGrid::updateSlotBoxes);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &KeyGrid::updateSlotBoxes);
    connect(&model, &QAbstractItemModel::modelReset, this, &KeyGrid::updateSlotBoxes);
    updateSlotBoxes();
}

int KeyGrid::preferredWidth() const {
    int columns = 0;
    for (int w : KeyGridModel::kColumnWidths)
        columns += w;
    return columns + kDescriptionOverhang + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
           2 * frameWidth();
}

QComboBox* KeyGrid::slotBox(int row) const {
    return qobject_cast<QComboBox*>(indexWidget(model_.index(row, KeyGridModel::SlotColumn)));
}

QLineEdit* KeyGrid::cellEditor() const {
    if (!editing_.isValid())
        return nullptr;
    return qobject_cast<QLineEdit*>(indexWidget(editing_));
}

void KeyGrid::editCell(int row, int column) {
    commitCell();
    const QModelIndex index = model_.index(row, column);
    if (!index.isValid() ||
        (column != KeyGridModel::NameColumn && column != KeyGridModel::CodeColumn))
        return;
    setCurrentIndex(index);
    scrollTo(index);
    if (edit(index, QAbstractItemView::AllEditTriggers, nullptr)) {
        editing_ = index;
        if (QLineEdit* e = cellEditor()) {
            e->setFocus(Qt::OtherFocusReason);
            e->end(false);
            connect(e, &QLineEdit::textEdited, this, [this, row, column](const QString& text) {
                Q_EMIT cellTextEdited(row, column, text);
            });
        }
    }
}

void KeyGrid::commitCell() {
    QLineEdit* editor = cellEditor();
    editing_ = QPersistentModelIndex();
    if (!editor)
        return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void KeyGrid::mousePressEvent(QMouseEvent* e) {
    commitCell();
    QTableView::mousePressEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(e->position().toPoint());
    Q_EMIT cellClicked(index.isValid() ? index.row() : -1, index.isValid() ? index.column() : -1);
}

void KeyGrid::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_F2 && currentIndex().isValid()) {
        Q_EMIT cellClicked(currentIndex().row(), currentIndex().column());
        return;
    }
    QTableView::keyPressEvent(e);
}

void KeyGrid::scrollContentsBy(int dx, int dy) {
    commitCell();
    QTableView::scrollContentsBy(dx, dy);
    placeDescription();
    updateSlotBoxes();
}

void KeyGrid::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    placeDescription();
    updateSlotBoxes();
}

void KeyGrid::showEvent(QShowEvent* e) {
    QTableView::showEvent(e);
    updateSlotBoxes();
}

void KeyGrid::updateSlotBoxes() {
    const int rows = model_.rowCount();
    // The rows in view; before the grid is first shown its viewport has no
    // size yet, and the grid's own height stands for it.
    const int height = std::max(viewport()->height(), this->height() - kHeaderHeight);
    const int first = std::max(0, verticalScrollBar()->value());
    const int last = first + (height + kRowHeight - 1) / kRowHeight;
    for (int r = 0; r < rows; ++r) {
        const QModelIndex index = model_.index(r, KeyGridModel::SlotColumn);
        const bool inView = r >= first && r <= last;
        if (inView && !isPersistentEditorOpen(index))
            openPersistentEditor(index);
        else if (!inView && isPersistentEditorOpen(index))
            closePersistentEditor(index);
        if (QComboBox* box = inView ? slotBox(r) : nullptr)
            box->setObjectName(QStringLiteral("combo%1").arg(kFirstSlotBoxId + r));
    }
}

void KeyGrid::placeDescription() {
    // Over "备注", from the top of the rows, fixed while the rows scroll.
    const QRect area = viewport()->geometry();
    const int left =
        area.left() + horizontalHeader()->sectionViewportPosition(KeyGridModel::RemarkColumn) + 1;
    const int width =
        KeyGridModel::kColumnWidths[KeyGridModel::RemarkColumn] + kDescriptionOverhang;
    const int height = std::min(kDescriptionHeight, area.bottom() + 1 - area.top());
    description_->setGeometry(left, area.top(),
                              std::max(0, std::min(width, area.right() + 1 - left)),
                              std::max(0, height));
    description_->raise();
}

} // namespace pj::shell

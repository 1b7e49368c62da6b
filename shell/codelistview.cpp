#include "shell/codelistview.h"

#include "skin/artwork.h"
#include "skin/fonts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyle>
#include <QStyledItemDelegate>

namespace pj::shell {

namespace {

// Draws the check box and the status icon of a row at their fixed places;
// the cells hold nothing else but the key name.
class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(CodeListView* view)
        : QStyledItemDelegate(view)
        , view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        switch (index.column()) {
        case CodeListModel::SelectColumn: {
            paintBackground(painter, option, index);
            QStyleOptionButton box;
            box.rect =
                QRect(option.rect.left() + CodeListView::kCheckX,
                      option.rect.top() + (option.rect.height() - CodeListView::kCheckSize) / 2,
                      CodeListView::kCheckSize, CodeListView::kCheckSize);
            box.state = QStyle::State_Enabled;
            box.state |= index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked
                             ? QStyle::State_On
                             : QStyle::State_Off;
            box.palette = option.palette;
            box.palette.setColor(QPalette::Base, Qt::white);
            view_->style()->drawControl(QStyle::CE_CheckBox, &box, painter, view_);
            break;
        }
        case CodeListModel::StatusColumn: {
            paintBackground(painter, option, index);
            const auto status =
                static_cast<link::RowStatus>(index.data(CodeListModel::StatusRole).toInt());
            const skin::Art art = status == link::RowStatus::Confirmed
                                      ? skin::Art::StatusConfirmed
                                      : skin::Art::StatusUnconfirmed;
            const QRect r(option.rect.left() + CodeListView::kStatusOffset,
                          option.rect.top() + (option.rect.height() - CodeListView::kIconSize) / 2,
                          CodeListView::kIconSize, CodeListView::kIconSize);
            painter->drawPixmap(
                r, skin::artPixmap(art, r.size(), painter->device()->devicePixelRatioF()));
            break;
        }
        default:
            QStyledItemDelegate::paint(painter, option, index);
        }
    }

    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        return nullptr;
    }
    bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&,
                     const QModelIndex&) override {
        return false; // the view toggles on a click anywhere on the row
    }

private:
    void paintBackground(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        opt.icon = QIcon();
        view_->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, view_);
    }

    CodeListView* view_;
};

} // namespace

CodeListView::CodeListView(CodeListModel& model, QWidget* parent)
    : QTableView(parent)
    , model_(model) {
    setObjectName(QStringLiteral("list1010"));
    setModel(&model);
    setItemDelegate(new RowDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(kRowPitch);
    rows->setDefaultSectionSize(kRowPitch);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* columns = horizontalHeader();
    columns->setFixedHeight(kHeaderHeight);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(false);
    columns->setSectionsMovable(false);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(1);
    for (int c = 0; c < CodeListModel::kColumnCount; ++c) {
        columns->setSectionResizeMode(c, QHeaderView::Fixed);
        columns->resizeSection(c, CodeListModel::kColumnWidths[c]);
    }

    description_ = new QPlainTextEdit(this);
    description_->setObjectName(QStringLiteral("edit1011"));
    description_->setFont(skin::skinFont(QStringLiteral("黑体"), 13, 6));
    // The description is shown, never saved: it is not offered for editing.
    description_->setReadOnly(true);
    description_->setFrameShape(QFrame::NoFrame);
    description_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    placeDescription();

    connect(this, &QAbstractItemView::clicked, this, &CodeListView::onClicked);

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("menuList"));
    testSend_ = menu_->addAction(QStringLiteral("试发"));
    testSend_->setObjectName(QStringLiteral("actionTestSend"));
    testSend_->setToolTip(QStringLiteral("把这一行的功能码直接发给投影机，看它的应答"));
    connect(testSend_, &QAction::triggered, this, [this] {
        if (togglingEnabled_ && menuRow_ >= 0 && menuRow_ < model_.rowCount())
            Q_EMIT testSendRequested(menuRow_);
    });
}

bool CodeListView::prepareContextMenu(const QPoint& pos) {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return false;
    menuRow_ = index.row();
    // The row is shown as the one the menu acts on; its box stays as it was.
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    testSend_->setEnabled(togglingEnabled_);
    return true;
}

void CodeListView::contextMenuEvent(QContextMenuEvent* e) {
    // A click's position is in the viewport's coordinates; the menu key acts
    // on the current row.
    const QPoint pos =
        e->reason() == QContextMenuEvent::Mouse ? e->pos() : visualRect(currentIndex()).center();
    if (!prepareContextMenu(pos))
        return;
    menu_->popup(e->reason() == QContextMenuEvent::Mouse ? e->globalPos()
                                                         : viewport()->mapToGlobal(pos));
}

void CodeListView::setDescription(const QString& text) {
    description_->setPlainText(text);
}

QRect CodeListView::checkBoxRect(int row) const {
    const QRect cell = visualRect(model_.index(row, CodeListModel::SelectColumn));
    return {cell.left() + kCheckX, cell.top() + (cell.height() - kCheckSize) / 2, kCheckSize,
            kCheckSize};
}

QRect CodeListView::statusIconRect(int row) const {
    const QRect cell = visualRect(model_.index(row, CodeListModel::StatusColumn));
    return {cell.left() + kStatusOffset, cell.top() + (cell.height() - kIconSize) / 2, kIconSize,
            kIconSize};
}

void CodeListView::onClicked(const QModelIndex& index) {
    if (!togglingEnabled_ || !index.isValid())
        return;
    model_.toggle(index.row());
    setFocus(Qt::MouseFocusReason);
}

void CodeListView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space && togglingEnabled_ && currentIndex().isValid()) {
        model_.toggle(currentIndex().row());
        return;
    }
    QTableView::keyPressEvent(e);
}

void CodeListView::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    placeDescription();
}

void CodeListView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    placeDescription();
}

void CodeListView::placeDescription() {
    // Over the "备注" column, just below the header, within the visible rows area.
    const QRect area = viewport()->geometry();
    const int left =
        area.left() + horizontalHeader()->sectionViewportPosition(CodeListModel::RemarkColumn) + 1;
    const int top = area.top();
    const int width = std::min(kDescriptionWidth, area.right() + 1 - left);
    const int height = std::min(kDescriptionHeight, area.bottom() + 1 - top);
    description_->setGeometry(left, top, std::max(0, width), std::max(0, height));
}

} // namespace pj::shell

#include "shell/cataloguetree.h"

#include "skin/artwork.h"
#include "skin/palette.h"

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>

namespace pj::shell {

namespace {

constexpr int KindRole = Qt::UserRole + 1;

QIcon nodeIcon() {
    QIcon icon;
    icon.addPixmap(skin::artPixmap(skin::Art::NodeClosed), QIcon::Normal);
    icon.addPixmap(skin::artPixmap(skin::Art::NodeOpen), QIcon::Selected);
    return icon;
}

QIcon rootIcon() {
    QIcon icon;
    const QPixmap p = skin::artPixmap(skin::Art::NodeRoot);
    icon.addPixmap(p, QIcon::Normal);
    icon.addPixmap(p, QIcon::Selected);
    return icon;
}

} // namespace

CatalogueTree::CatalogueTree(CatalogueBrowser& browser, QWidget* parent)
    : QTreeWidget(parent)
    , browser_(browser)
    , nodeIcon_(nodeIcon()) {
    setObjectName(QStringLiteral("tree1009"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setIconSize(QSize(16, 16));
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // The one column is as wide as the longest shown name, and the tree
    // scrolls sideways when that is wider than the tree.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setTextElideMode(Qt::ElideNone);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, skin::PanelPalette::background());
    pal.setColor(QPalette::Window, skin::PanelPalette::background());
    setPalette(pal);
    setAutoFillBackground(true);

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("menuTree"));
    for (TreeCommand command : kTreeCommands) {
        QAction* action = menu_->addAction(treeCommandText(command));
        action->setObjectName(QStringLiteral("action%1").arg(static_cast<int>(command)));
        action->setData(static_cast<int>(command));
        connect(action, &QAction::triggered, this,
                [this, command] { Q_EMIT commandChosen(command); });
    }

    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onCurrentItemChanged(current); });
    connect(this, &QWidget::customContextMenuRequested, this, &CatalogueTree::openContextMenu);

    connect(&browser_, &CatalogueBrowser::companyNodeAdded, this, [this](const QString& company) {
        if (!root_)
            return;
        addCompanyItem(company);
        root_->setExpanded(true);
    });
    connect(&browser_, &CatalogueBrowser::modelNodeAdded, this,
            [this](const QString& company, const QString& model) {
                if (QTreeWidgetItem* c = companyItem(company)) {
                    addModelItem(c, model);
                    c->setExpanded(true);
                }
            });
    connect(&browser_, &CatalogueBrowser::modelNodeRenamed, this,
            [this](const QString& company, const QString& oldName, const QString& newName) {
                if (QTreeWidgetItem* m = modelItem(company, oldName)) {
                    m->setText(0, newName);
                    m->setToolTip(0, newName);
                }
            });
    connect(&browser_, &CatalogueBrowser::modelNodeRemoved, this,
            [this](const QString& company, const QString& model) {
                removeItem(modelItem(company, model));
            });
    connect(&browser_, &CatalogueBrowser::companyNodeRemoved, this,
            [this](const QString& company) { removeItem(companyItem(company)); });
}

namespace {

// Every other pixel, as the lines of a classic tree control.
void dottedHLine(QPainter* p, int x1, int x2, int y) {
    for (int x = x1 + ((x1 + y) & 1); x <= x2; x += 2)
        p->drawPoint(x, y);
}
void dottedVLine(QPainter* p, int x, int y1, int y2) {
    for (int y = y1 + ((x + y1) & 1); y <= y2; y += 2)
        p->drawPoint(x, y);
}

} // namespace

void CatalogueTree::drawBranches(QPainter* painter, const QRect& rect,
                                 const QModelIndex& index) const {
    const int indent = indentation();
    painter->save();
    painter->setPen(QColor(160, 160, 160));
    const int top = rect.top();
    const int bottom = rect.bottom();
    const int midY = rect.top() + rect.height() / 2;

    // This node's own column: the rightmost one of the branch area.
    int column = rect.right() + 1 - indent;
    const int midX = column + indent / 2;
    const bool hasNext = index.sibling(index.row() + 1, 0).isValid();
    dottedHLine(painter, midX, column + indent - 2, midY);
    if (index.parent().isValid() || index.row() > 0)
        dottedVLine(painter, midX, top, midY);
    if (hasNext)
        dottedVLine(painter, midX, midY, bottom);

    // The columns of the ancestors: a line goes on where an ancestor has a
    // sibling below it.
    for (QModelIndex a = index.parent(); a.isValid(); a = a.parent()) {
        column -= indent;
        if (a.sibling(a.row() + 1, 0).isValid())
            dottedVLine(painter, column + indent / 2, top, bottom);
    }

    // The expand button: a 9 x 9 box with a minus or a plus.
    if (model()->hasChildren(index)) {
        const QRect box(midX - 4, midY - 4, 8, 8);
        painter->fillRect(box, Qt::white);
        painter->setPen(QColor(128, 128, 128));
        painter->drawRect(box);
        painter->setPen(Qt::black);
        painter->drawLine(midX - 2, midY, midX + 2, midY);
        if (!isExpanded(index))
            painter->drawLine(midX, midY - 2, midX, midY + 2);
    }
    painter->restore();
}

void CatalogueTree::fill() {
    const QSignalBlocker block(this);
    clear();
    root_ = new QTreeWidgetItem(this, {CatalogueBrowser::rootText()});
    root_->setIcon(0, rootIcon());
    root_->setData(0, KindRole, static_cast<int>(NodeKind::Root));
    for (const CompanyNode& company : browser_.companies()) {
        QTreeWidgetItem* c = addCompanyItem(company.name);
        for (const ModelEntry& model : company.models)
            addModelItem(c, model.name);
    }
    root_->setExpanded(true);
}

void CatalogueTree::reload() {
    QSet<QString> expanded;
    const bool rootExpanded = !root_ || root_->isExpanded();
    if (root_) {
        for (int i = 0; i < root_->childCount(); ++i)
            if (root_->child(i)->isExpanded())
                expanded.insert(root_->child(i)->text(0));
    }
    const std::optional<NodeRef> selected = nodeOf(currentItem());
    const int scroll = verticalScrollBar()->value();

    browser_.build();
    fill();
    for (int i = 0; i < root_->childCount(); ++i)
        if (expanded.contains(root_->child(i)->text(0)))
            root_->child(i)->setExpanded(true);
    root_->setExpanded(rootExpanded);
    verticalScrollBar()->setValue(scroll);
    if (!selected)
        return;

    QTreeWidgetItem* item = nullptr;
    switch (selected->kind) {
    case NodeKind::Root:
        item = root_;
        break;
    case NodeKind::Company:
        item = companyItem(selected->text);
        break;
    case NodeKind::Model:
        item = modelItem(selected->companyText, selected->text);
        if (!item)
            item = companyItem(selected->companyText);
        break;
    }
    if (!item)
        item = root_;
    {
        const QSignalBlocker block(this);
        setCurrentItem(item);
    }
    const std::optional<NodeRef> now = nodeOf(item);
    if (now->kind == selected->kind && now->text == selected->text &&
        now->companyText == selected->companyText)
        browser_.reselect(*now);
    else
        browser_.select(*now);
}

QTreeWidgetItem* CatalogueTree::addCompanyItem(const QString& name) {
    auto* c = new QTreeWidgetItem(root_, {name});
    c->setIcon(0, nodeIcon_);
    c->setToolTip(0, name);
    c->setData(0, KindRole, static_cast<int>(NodeKind::Company));
    return c;
}

QTreeWidgetItem* CatalogueTree::addModelItem(QTreeWidgetItem* company, const QString& name) {
    auto* m = new QTreeWidgetItem(company, {name});
    m->setIcon(0, nodeIcon_);
    m->setToolTip(0, name);
    m->setData(0, KindRole, static_cast<int>(NodeKind::Model));
    return m;
}

void CatalogueTree::removeItem(QTreeWidgetItem* item) {
    if (!item || item == root_)
        return;
    for (QTreeWidgetItem* i = currentItem(); i; i = i->parent()) {
        if (i == item) {
            setCurrentItem(item->parent());
            break;
        }
    }
    delete item;
}

void CatalogueTree::mousePressEvent(QMouseEvent* e) {
    // A press where no node lies changes nothing: the selection, and with it
    // the model the code list shows, stays.
    if (!itemAt(e->position().toPoint())) {
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
    }
    QTreeWidget::mousePressEvent(e);
}

QTreeWidgetItem* CatalogueTree::companyItem(const QString& name) const {
    if (!root_)
        return nullptr;
    for (int i = 0; i < root_->childCount(); ++i)
        if (root_->child(i)->text(0) == name)
            return root_->child(i);
    return nullptr;
}

QTreeWidgetItem* CatalogueTree::modelItem(const QString& company, const QString& model) const {
    QTreeWidgetItem* c = companyItem(company);
    if (!c)
        return nullptr;
    for (int i = 0; i < c->childCount(); ++i)
        if (c->child(i)->text(0) == model)
            return c->child(i);
    return nullptr;
}

std::optional<NodeRef> CatalogueTree::nodeOf(const QTreeWidgetItem* item) {
    if (!item)
        return std::nullopt;
    NodeRef ref;
    ref.kind = static_cast<NodeKind>(item->data(0, KindRole).toInt());
    ref.text = item->text(0);
    if (ref.kind == NodeKind::Model && item->parent())
        ref.companyText = item->parent()->text(0);
    return ref;
}

void CatalogueTree::onCurrentItemChanged(QTreeWidgetItem* current) {
    const std::optional<NodeRef> node = nodeOf(current);
    // No current item (the tree was emptied) shows nothing, as the root does.
    browser_.select(node.value_or(NodeRef{}));
}

bool CatalogueTree::prepareContextMenu(const QPoint& pos) {
    QTreeWidgetItem* item = itemAt(pos);
    const std::optional<NodeRef> node = nodeOf(item);
    if (!node)
        return false;
    if (item != currentItem())
        setCurrentItem(item);
    const std::optional<MenuState> menu = browser_.rightClick(node);
    if (!menu)
        return false;
    for (QAction* action : menu_->actions())
        action->setEnabled(menu->enabled(static_cast<TreeCommand>(action->data().toInt())));
    return true;
}

void CatalogueTree::openContextMenu(const QPoint& pos) {
    if (!prepareContextMenu(pos))
        return;
    // The menu opens with its right edge at the pointer.
    const QPoint global = viewport()->mapToGlobal(pos);
    menu_->popup(QPoint(global.x() - menu_->sizeHint().width(), global.y()));
}

} // namespace pj::shell

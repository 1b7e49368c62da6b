#pragma once
// The catalogue tree (control 1009): the root "选择投影机型号", the companies
// under it and each company's models under the company. Selecting a node hands
// it to the browser; a right click selects the node under the pointer and opens
// the context menu with the items the browser allows. A press on empty space
// leaves the selection as it is (the code list keeps showing the selected
// model). Long names are never cut: the tree scrolls sideways and each
// company and model node tells its whole name as its tooltip.
//
// The tree follows the browser's node signals in place: an added company or
// model is appended, a renamed model keeps its node, a removed node goes with
// its children while every other node keeps its expansion. When the removed
// node holds the selection, its parent is selected first.
//
// Object names: "tree1009", the menu "menuTree", its actions "action40010" ...

#include "shell/cataloguebrowser.h"

#include <QTreeWidget>

class QMenu;

namespace pj::shell {

class CatalogueTree : public QTreeWidget {
    Q_OBJECT
public:
    enum Image { ImageNode = 0, ImageNodeSelected = 1, ImageRoot = 2 };

    CatalogueTree(CatalogueBrowser& browser, QWidget* parent = nullptr);

    // Fills the tree from the browser (which has read the catalogue) and
    // expands the root.
    void fill();
    // Reads the catalogue again through the browser and fills the tree anew
    // ("刷新", or a change by someone else): the root and the companies that
    // were expanded stay expanded, the selected node stays selected where it
    // still exists (a model whose values are unchanged keeps its code list as
    // shown, see CatalogueBrowser::reselect). In place of a node that is gone
    // its company is selected, or the root.
    void reload();

    QTreeWidgetItem* rootItem() const { return root_; }
    QTreeWidgetItem* companyItem(const QString& name) const;
    QTreeWidgetItem* modelItem(const QString& company, const QString& model) const;
    static std::optional<NodeRef> nodeOf(const QTreeWidgetItem* item);

    QMenu* contextMenu() const { return menu_; }
    // What a right click at `pos` (viewport coordinates) does, without showing
    // the menu: selects the node, sets the menu's items, and returns whether a
    // menu would be shown.
    bool prepareContextMenu(const QPoint& pos);
    // A right click at `pos`: the menu opens with its right edge at the pointer.
    void openContextMenu(const QPoint& pos);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    // Dotted lines between the nodes and boxed expand buttons, the root included.
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

Q_SIGNALS:
    // A context-menu item was chosen.
    void commandChosen(pj::shell::TreeCommand command);

private:
    void onCurrentItemChanged(QTreeWidgetItem* current);
    QTreeWidgetItem* addCompanyItem(const QString& name);
    QTreeWidgetItem* addModelItem(QTreeWidgetItem* company, const QString& name);
    // Removes `item` with its children; the selection moves to its parent first
    // when it lies in them.
    void removeItem(QTreeWidgetItem* item);

    CatalogueBrowser& browser_;
    QIcon nodeIcon_;
    QTreeWidgetItem* root_ = nullptr;
    QMenu* menu_ = nullptr;
};

} // namespace pj::shell

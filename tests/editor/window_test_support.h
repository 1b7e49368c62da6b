#pragma once
// Shared by the tests of catalogue editing from PROJECTOR's window: a scratch
// catalogue of three companies, the program started on it, the tree as text,
// and a context-menu command chosen on a node.

#include "shell/cataloguetree.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"
#include "shell/projectorapp.h"
#include "tests/editor/editor_test_support.h"
#include "tests/shell/detection_test_support.h"

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace pj::shell::test {

using testing::letDetectionRun;

// Companies A, B, C with models a1 b1 c1 a2 b2 c2 (IDs 1..6, each company's
// spread over the range), and `extra` models of C after them.
inline QString makeCatalogue(const QTemporaryDir& dir, const QStringList& extra = {}) {
    const QString file = test::newCatalogue(dir);
    catalogue::CatalogueDb db;
    if (!db.connectFile(file))
        qFatal("cannot open the scratch catalogue");
    for (const char* c : {"A", "B", "C"})
        (void)db.addCompany(QString::fromLatin1(c));
    for (int n = 1; n <= 2; ++n)
        for (int c = 1; c <= 3; ++c)
            (void)db.addModel(c,
                              test::hexModel(QStringLiteral("%1%2").arg(QChar(u'a' + c - 1)).arg(n),
                                             2, 0xa0 + c));
    for (const QString& name : extra)
        (void)db.addModel(3, test::hexModel(name, 1));
    return file;
}

inline ProgramOptions options(const QString& catalogueFile) {
    ProgramOptions o;
    o.simulate = true;
    o.answerByte = 0x01;
    o.catalogueFile = catalogueFile;
    o.scanPresentPorts = false;
    return o;
}

// The tree as "company[model,model]" lines.
inline QStringList describeTree(CatalogueTree* tree) {
    QStringList out;
    QTreeWidgetItem* root = tree->rootItem();
    for (int c = 0; c < root->childCount(); ++c) {
        QStringList models;
        for (int m = 0; m < root->child(c)->childCount(); ++m)
            models << root->child(c)->child(m)->text(0);
        out << QStringLiteral("%1[%2]").arg(root->child(c)->text(0), models.join(QLatin1Char(',')));
    }
    return out;
}

// The catalogue's companies and models by name, in ID order.
inline QStringList describeNames(catalogue::CatalogueDb& db) {
    QStringList out;
    auto tree = db.loadTree();
    for (const auto& c : tree->companies) {
        QStringList models;
        for (const auto& m : tree->models)
            if (m.companyId == c.id)
                models << m.name;
        out << QStringLiteral("%1[%2]").arg(c.name, models.join(QLatin1Char(',')));
    }
    return out;
}

// A right click on `node`, then `command` chosen from the menu.
inline bool choose(CatalogueTree* tree, QTreeWidgetItem* node, int command) {
    if (node->parent())
        node->parent()->setExpanded(true);
    tree->scrollToItem(node);
    if (!tree->prepareContextMenu(tree->visualItemRect(node).center()))
        return false;
    auto* action =
        tree->contextMenu()->findChild<QAction*>(QStringLiteral("action%1").arg(command));
    if (!action || !action->isEnabled())
        return false;
    action->trigger();
    return true;
}

// Clicks the button named `name` in the dialog and returns its result.
inline ModalSeam::Handler clicking(const char* name) {
    return [name](QDialog& d) {
        d.findChild<QPushButton*>(QString::fromLatin1(name))->click();
        return d.result();
    };
}

} // namespace pj::shell::test

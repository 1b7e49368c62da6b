// Catalogue editing from PROJECTOR's window: the tree's context-menu commands
// open the dialogs through the modal seam, and the tree follows every edit in
// place (expanded companies stay expanded, later nodes keep working under
// their new numbers). Also the tree's own behaviour with long names and with
// presses on empty space.

#include "shell/cataloguetree.h"
#include "shell/codelistview.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"
#include "shell/editor/keygrid.h"
#include "shell/editor/modeleditor.h"
#include "shell/mainwindow.h"
#include "shell/projectorapp.h"
#include "tests/editor/editor_test_support.h"
#include "tests/editor/window_test_support.h"

#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

using namespace pj;
using namespace pj::shell;

using namespace pj::shell::test;

class TestEditorWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void addCompanyAddModelAndModify_fromTheMenu_theTreeFollowsInPlace() {
        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        auto* tree = app.mainWindow()->panel()->tree();
        auto& rows = *qobject_cast<CodeListModel*>(app.mainWindow()->panel()->codeList()->model());

        ModalSeam::queueHandler([](QDialog& d) {
            d.findChild<QLineEdit*>(QStringLiteral("edit1024"))->setText(QStringLiteral(" D "));
            d.findChild<QPushButton*>(QStringLiteral("button1025"))->click();
            return d.result();
        });
        QVERIFY(choose(tree, tree->rootItem(), 40010));
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("company131"));
        QTreeWidgetItem* d = tree->companyItem(QStringLiteral("D"));
        QVERIFY(d);
        QCOMPARE(tree->rootItem()->indexOfChild(d), 3);

        ModalSeam::queueHandler([](QDialog& dialog) {
            auto& editor = static_cast<ModelEditor&>(dialog);
            editor.findChild<QLineEdit*>(QStringLiteral("edit1026"))->setText(QStringLiteral("d1"));
            editor.findChild<QPushButton*>(QStringLiteral("button1029"))->click();
            auto& grid = editor.logic().grid();
            grid.setData(grid.index(0, KeyGridModel::CodeColumn), QStringLiteral("c0 01"),
                         Qt::EditRole);
            editor.findChild<QPushButton*>(QStringLiteral("button1030"))->click();
            return editor.result();
        });
        QVERIFY(choose(tree, d, 40008));
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("editor132"));
        QVERIFY(d->isExpanded());
        QCOMPARE(d->childCount(), 1);
        QCOMPARE(d->child(0)->text(0), QStringLiteral("d1"));
        QCOMPARE(describeTree(tree), describeNames(app.catalogue()));

        // Modify a2: the node keeps its place under the new name, and the code
        // list shows the saved keys.
        QTreeWidgetItem* a2 = tree->modelItem(QStringLiteral("A"), QStringLiteral("a2"));
        ModalSeam::queueHandler([](QDialog& dialog) {
            auto& editor = static_cast<ModelEditor&>(dialog);
            if (editor.findChild<QLineEdit*>(QStringLiteral("edit1031"))->text() !=
                QStringLiteral("a2"))
                return -1;
            editor.findChild<QLineEdit*>(QStringLiteral("edit1031"))
                ->setText(QStringLiteral("a2-改"));
            editor.findChild<QPushButton*>(QStringLiteral("button1070"))->click();
            auto& grid = editor.logic().grid();
            grid.setData(grid.index(2, KeyGridModel::CodeColumn), QStringLiteral("c0 02"),
                         Qt::EditRole);
            editor.findChild<QPushButton*>(QStringLiteral("button1034"))->click();
            return editor.result();
        });
        QVERIFY(choose(tree, a2, 40009));
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("editor133"));
        QCOMPARE(tree->modelItem(QStringLiteral("A"), QStringLiteral("a2-改")), a2);
        QCOMPARE(tree->currentItem(), a2);
        QCOMPARE(rows.rowCount(), 3);
        QCOMPARE(app.selectedModel().rows[2].codeText, std::string("c0 02"));
        QCOMPARE(describeTree(tree), describeNames(app.catalogue()));
    }

    void deletes_keepIdsDense_expandedCompaniesExpanded_laterNodesWorking() {
        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        MainPanel* panel = app.mainWindow()->panel();
        auto* tree = panel->tree();
        auto& rows = *qobject_cast<CodeListModel*>(panel->codeList()->model());
        QTreeWidgetItem* a = tree->companyItem(QStringLiteral("A"));
        QTreeWidgetItem* b = tree->companyItem(QStringLiteral("B"));
        QTreeWidgetItem* c = tree->companyItem(QStringLiteral("C"));
        a->setExpanded(true);
        c->setExpanded(true);
        const QString before = test::everything(app.catalogue());

        // "Cancel" and the close button in dialog 140 delete nothing.
        ModalSeam::queueHandler(clicking("button1057"));
        QVERIFY(choose(tree, tree->modelItem(QStringLiteral("B"), QStringLiteral("b1")), 40011));
        ModalSeam::queueAnswer(0);
        QVERIFY(choose(tree, b, 40012));
        QCOMPARE(test::everything(app.catalogue()), before);
        QCOMPARE(ModalSeam::seen(), test::texts({"detection145", "message140", "message140"}));

        // Delete model b1 (ID 2): its node goes, its company is selected.
        ModalSeam::queueHandler(clicking("button1056"));
        QVERIFY(choose(tree, tree->modelItem(QStringLiteral("B"), QStringLiteral("b1")), 40011));
        QVERIFY(!tree->modelItem(QStringLiteral("B"), QStringLiteral("b1")));
        QCOMPARE(tree->currentItem(), b);
        QCOMPARE(rows.rowCount(), 0);
        QCOMPARE(describeTree(tree), describeNames(app.catalogue()));
        auto problems = app.catalogue().checkCatalogue();
        QVERIFY(problems && problems->empty());

        // Delete company B with its remaining model.
        ModalSeam::queueHandler(clicking("button1056"));
        QVERIFY(choose(tree, b, 40012));
        QCOMPARE(tree->currentItem(), tree->rootItem());
        QCOMPARE(describeTree(tree), test::texts({"A[a1,a2]", "C[c1,c2]"}));
        QCOMPARE(describeTree(tree), describeNames(app.catalogue()));
        QCOMPARE(tree->rootItem()->child(0), a); // the same nodes, as they were
        QCOMPARE(tree->rootItem()->child(1), c);
        QVERIFY(a->isExpanded() && c->isExpanded());
        problems = app.catalogue().checkCatalogue();
        QVERIFY(problems && problems->empty());

        // The former company 3 is company 2 now and still offers its entries.
        QVERIFY(tree->prepareContextMenu(tree->visualItemRect(c).center()));
        QVERIFY(
            tree->contextMenu()->findChild<QAction*>(QStringLiteral("action40012"))->isEnabled());
        QCOMPARE(app.mainWindow()->panel()->findChild<QWidget*>(QStringLiteral("tree1009")), tree);
        tree->setCurrentItem(c->child(1));
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(app.selectedModel().rows[1].codeText, std::string("a3 01 0d"));
        QCOMPARE(app.selectedModel().selectedModelId, 4);
        QVERIFY(panel->findChild<QPushButton*>(QStringLiteral("button1013"))->isEnabled());

        // A model added now takes the next number and its node the next place.
        ModalSeam::queueHandler([](QDialog& dialog) {
            auto& editor = static_cast<ModelEditor&>(dialog);
            editor.findChild<QLineEdit*>(QStringLiteral("edit1026"))->setText(QStringLiteral("c3"));
            editor.findChild<QPushButton*>(QStringLiteral("button1030"))->click();
            return editor.result();
        });
        QVERIFY(choose(tree, c, 40008));
        QCOMPARE(c->child(2)->text(0), QStringLiteral("c3"));
        QCOMPARE(*app.catalogue().findModel(2, QStringLiteral("c3")), 5);
        QCOMPARE(describeTree(tree), describeNames(app.catalogue()));
    }

    void longModelNames_scrollSideways_andShowTheWholeNameAsTooltip() {
        QTemporaryDir dir;
        const QString longName = QStringLiteral("超长型号名称") + QString(44, QLatin1Char('W'));
        QCOMPARE(longName.size(), 50);
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir, {longName})));
        QVERIFY(app.start());
        auto* tree = app.mainWindow()->panel()->tree();
        QTreeWidgetItem* c = tree->companyItem(QStringLiteral("C"));
        c->setExpanded(true);
        QTreeWidgetItem* item = tree->modelItem(QStringLiteral("C"), longName);
        QVERIFY(item);
        QCOMPARE(item->text(0), longName);
        QCOMPARE(item->toolTip(0), longName);
        QCOMPARE(c->toolTip(0), QStringLiteral("C"));
        QTRY_VERIFY(tree->horizontalScrollBar()->maximum() > 0);
        const int textWidth = tree->fontMetrics().horizontalAdvance(longName);
        QVERIFY(tree->columnWidth(0) >= textWidth + 2 * tree->indentation());
        // Scrolled to the end, the name's last characters are in view.
        tree->horizontalScrollBar()->setValue(tree->horizontalScrollBar()->maximum());
        QVERIFY(tree->visualItemRect(item).right() <= tree->viewport()->width() + 1);
    }

    void pressOnEmptyTreeSpace_keepsTheSelectionAndTheShownModel() {
        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        MainPanel* panel = app.mainWindow()->panel();
        auto* tree = panel->tree();
        auto& rows = *qobject_cast<CodeListModel*>(panel->codeList()->model());
        QTreeWidgetItem* a1 = tree->modelItem(QStringLiteral("A"), QStringLiteral("a1"));
        tree->rootItem()->child(0)->setExpanded(true);
        tree->setCurrentItem(a1);
        QCOMPARE(rows.rowCount(), 2);
        const QPoint empty(5, tree->viewport()->height() - 3);
        QVERIFY(!tree->itemAt(empty));
        for (Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
            QTest::mousePress(tree->viewport(), button, {}, empty);
            QTest::mouseRelease(tree->viewport(), button, {}, empty);
            QCOMPARE(tree->currentItem(), a1);
            QVERIFY(a1->isSelected());
            QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem*>{a1});
            QCOMPARE(rows.rowCount(), 2);
            QVERIFY(panel->findChild<QPushButton*>(QStringLiteral("button1013"))->isEnabled());
        }
        QVERIFY(!tree->contextMenu()->isVisible());
    }
};

QTEST_MAIN(TestEditorWindow)
#include "test_editor_window.moc"

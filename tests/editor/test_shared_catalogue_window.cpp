// PROJECTOR's window on a catalogue that another program changes at the same
// time (here a second connection to the same catalogue file): a save of a
// model someone else deleted, renamed or changed writes nothing, shows the
// conflict in the skinned notice and reads the tree again; "刷新" and the
// window's activation read the tree again keeping what was expanded and
// selected.

#include "shell/codelistview.h"
#include "shell/dialogs/messagedialog.h"
#include "shell/editor/modeleditor.h"
#include "shell/mainwindow.h"
#include "tests/editor/window_test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace pj;
using namespace pj::shell;
using namespace pj::shell::test;

namespace {

constexpr int kModify = 40009;
constexpr int kDeleteModel = 40011;
constexpr int kRefresh = 40013;

// A handler for the model editor: types `name` and presses "确定"; `meanwhile`
// runs first, as another program's change while the dialog is open.
ModalSeam::Handler renameAndSave(const QString& name, std::function<void()> meanwhile) {
    return [name, meanwhile](QDialog& dialog) {
        auto& editor = static_cast<ModelEditor&>(dialog);
        meanwhile();
        editor.findChild<QLineEdit*>(QStringLiteral("edit1031"))->setText(name);
        editor.findChild<QPushButton*>(QStringLiteral("button1034"))->click();
        return editor.result();
    };
}

// A handler for the notice: keeps its text and presses "Ok".
ModalSeam::Handler readNotice(QString* text) {
    return [text](QDialog& d) {
        if (d.objectName() != QStringLiteral("messageNotice"))
            return -1;
        *text = d.findChild<QLabel*>(QStringLiteral("labelNotice"))->text();
        d.findChild<QPushButton*>(QStringLiteral("buttonNoticeOk"))->click();
        return d.result();
    };
}

int modelId(catalogue::CatalogueDb& db, const char* company, const char* model) {
    auto c = db.findCompany(QString::fromUtf8(company));
    if (!c)
        return 0;
    auto m = db.findModel(*c, QString::fromUtf8(model));
    return m ? *m : 0;
}

// Takes the activation away from the main window and gives it back.
bool activateAgain(QWidget* window) {
    QWidget other;
    other.setObjectName(QStringLiteral("otherWindow"));
    other.resize(50, 50);
    other.show();
    other.activateWindow();
    if (!QTest::qWaitForWindowActive(&other))
        return false;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

} // namespace

class TestSharedCatalogueWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void modifySave_afterAnotherProgramDeletedTheModel_showsTheConflictWritesNothing() {
        QTemporaryDir dir;
        const QString file = makeCatalogue(dir);
        letDetectionRun();
        ProjectorApp app(options(file));
        QVERIFY(app.start());
        auto* tree = app.mainWindow()->panel()->tree();
        catalogue::CatalogueDb other;
        QVERIFY(other.connectFile(file));
        QString before;

        ModalSeam::queueHandler(renameAndSave(QStringLiteral("a2-改"), [&] {
            QVERIFY(other.deleteModel(modelId(other, "A", "a2")));
            before = test::everything(other);
        }));
        QString notice;
        ModalSeam::queueHandler(readNotice(&notice));
        QVERIFY(choose(tree, tree->modelItem(QStringLiteral("A"), QStringLiteral("a2")), kModify));

        QVERIFY2(notice.contains(QStringLiteral("已被他人删除")), qPrintable(notice));
        QVERIFY(notice.contains(QStringLiteral("请刷新目录")));
        QCOMPARE(ModalSeam::seen(), QStringList({QStringLiteral("detection145"),
                                                 QStringLiteral("editor133"), notice}));
        QCOMPARE(test::everything(other), before); // nothing written
        QVERIFY(!tree->modelItem(QStringLiteral("A"), QStringLiteral("a2-改")));
        // The tree was read again: a2 is gone, A stays expanded and selected.
        QVERIFY(!tree->modelItem(QStringLiteral("A"), QStringLiteral("a2")));
        QCOMPARE(describeTree(tree), describeNames(other));
        QVERIFY(tree->companyItem(QStringLiteral("A"))->isExpanded());
        QCOMPARE(tree->currentItem(), tree->companyItem(QStringLiteral("A")));
    }

    void modifySave_afterAnotherProgramRenamedOrChangedTheModel_writesNothing() {
        QTemporaryDir dir;
        const QString file = makeCatalogue(dir);
        letDetectionRun();
        ProjectorApp app(options(file));
        QVERIFY(app.start());
        auto* tree = app.mainWindow()->panel()->tree();
        catalogue::CatalogueDb other;
        QVERIFY(other.connectFile(file));

        // Renamed meanwhile.
        QString before;
        ModalSeam::queueHandler(renameAndSave(QStringLiteral("b2-mine"), [&] {
            auto b2 = other.loadModel(modelId(other, "B", "b2"));
            QVERIFY(b2);
            catalogue::ModelInput input = test::hexModel(QStringLiteral("b2-theirs"), 2, 0xa2);
            QVERIFY(other.modifyModel(*b2, input));
            before = test::everything(other);
        }));
        QString notice;
        ModalSeam::queueHandler(readNotice(&notice));
        QVERIFY(choose(tree, tree->modelItem(QStringLiteral("B"), QStringLiteral("b2")), kModify));
        QVERIFY2(notice.contains(QStringLiteral("改名")), qPrintable(notice));
        QCOMPARE(test::everything(other), before);
        QVERIFY(tree->modelItem(QStringLiteral("B"), QStringLiteral("b2-theirs")));
        QVERIFY(!tree->modelItem(QStringLiteral("B"), QStringLiteral("b2")));

        // Keys changed meanwhile, the name kept: the save would undo their
        // change, so it is refused as well.
        ModalSeam::queueHandler(renameAndSave(QStringLiteral("c1"), [&] {
            auto c1 = other.loadModel(modelId(other, "C", "c1"));
            QVERIFY(c1);
            QVERIFY(other.modifyModel(*c1, test::hexModel(QStringLiteral("c1"), 5, 0xb0)));
            before = test::everything(other);
        }));
        ModalSeam::queueHandler(readNotice(&notice));
        QVERIFY(choose(tree, tree->modelItem(QStringLiteral("C"), QStringLiteral("c1")), kModify));
        QVERIFY2(notice.contains(QStringLiteral("已被他人修改")), qPrintable(notice));
        QCOMPARE(test::everything(other), before);
        auto c1 = other.loadModel(modelId(other, "C", "c1"));
        QCOMPARE(c1->keys.size(), std::size_t(5));
    }

    void deleteModel_thatAnotherProgramDeletedFirst_isRefusedAndTheTreeFollows() {
        QTemporaryDir dir;
        const QString file = makeCatalogue(dir);
        letDetectionRun();
        ProjectorApp app(options(file));
        QVERIFY(app.start());
        auto* tree = app.mainWindow()->panel()->tree();
        catalogue::CatalogueDb other;
        QVERIFY(other.connectFile(file));

        // The other program deletes b1 while the question is asked: the
        // delete of the model as it was read finds it gone.
        ModalSeam::queueHandler([&](QDialog& d) {
            (void)other.deleteModel(modelId(other, "B", "b1"));
            d.findChild<QPushButton*>(QStringLiteral("button1056"))->click();
            return d.result();
        });
        QString notice;
        ModalSeam::queueHandler(readNotice(&notice));
        QVERIFY(
            choose(tree, tree->modelItem(QStringLiteral("B"), QStringLiteral("b1")), kDeleteModel));
        QVERIFY2(notice.contains(QStringLiteral("已被他人删除")), qPrintable(notice));
        QCOMPARE(describeTree(tree), describeNames(other));
        auto problems = other.checkCatalogue();
        QVERIFY(problems && problems->empty());
        QCOMPARE(describeNames(other),
                 test::texts({"A[a1,a2]", "B[b2]", "C[c1,c2]"})); // only b1 went
    }

    void refreshItem_readsTheTreeAgain_keepingExpansionAndSelection() {
        QTemporaryDir dir;
        const QString file = makeCatalogue(dir);
        letDetectionRun();
        ProjectorApp app(options(file));
        QVERIFY(app.start());
        MainPanel* panel = app.mainWindow()->panel();
        auto* tree = panel->tree();
        auto& rows = *qobject_cast<CodeListModel*>(panel->codeList()->model());
        tree->companyItem(QStringLiteral("C"))->setExpanded(true);
        tree->setCurrentItem(tree->modelItem(QStringLiteral("C"), QStringLiteral("c2")));
        QCOMPARE(app.selectedModel().selectedModelId, 6);
        rows.setData(rows.index(1, 0), Qt::Checked, Qt::CheckStateRole); // a tick of the user's

        catalogue::CatalogueDb other;
        QVERIFY(other.connectFile(file));
        QVERIFY(other.deleteCompany(*other.findCompany(QStringLiteral("B")))); // models 2 and 5
        QVERIFY(other.addCompany(QStringLiteral("D")));

        QVERIFY(choose(tree, tree->rootItem(), kRefresh));
        QCOMPARE(describeTree(tree), describeNames(other));
        QCOMPARE(describeTree(tree), test::texts({"A[a1,a2]", "C[c1,c2]", "D[]"}));
        QVERIFY(tree->companyItem(QStringLiteral("C"))->isExpanded());
        QVERIFY(!tree->companyItem(QStringLiteral("A"))->isExpanded());
        // The right click selected the root, so the root is selected again.
        QCOMPARE(tree->currentItem(), tree->rootItem());

        // With a model selected, it stays selected under its new number and
        // keeps its rows as they were ticked when its keys are unchanged.
        tree->setCurrentItem(tree->modelItem(QStringLiteral("C"), QStringLiteral("c2")));
        rows.setData(rows.index(1, 0), Qt::Checked, Qt::CheckStateRole);
        const link::CodeList shown = app.selectedModel().rows;
        QVERIFY(other.deleteModel(modelId(other, "A", "a1")));
        panel->refreshTree();
        QCOMPARE(tree->currentItem(), tree->modelItem(QStringLiteral("C"), QStringLiteral("c2")));
        QCOMPARE(app.selectedModel().selectedModelId, modelId(other, "C", "c2"));
        QCOMPARE(app.selectedModel().selectedModelId, 3);
        QCOMPARE(app.selectedModel().rows.size(), shown.size());
        QVERIFY(shown[1].selected);
        QVERIFY(app.selectedModel().rows[1].selected);

        // A selected model that is gone leaves its company selected.
        QVERIFY(other.deleteModel(modelId(other, "C", "c2")));
        panel->refreshTree();
        QCOMPARE(tree->currentItem(), tree->companyItem(QStringLiteral("C")));
        QCOMPARE(rows.rowCount(), 0);
    }

    void activation_afterAnotherProgramAddedACompany_readsTheTreeAgain() {
        QTemporaryDir dir;
        const QString file = makeCatalogue(dir);
        letDetectionRun();
        ProjectorApp app(options(file));
        QVERIFY(app.start());
        MainWindow* window = app.mainWindow();
        auto* tree = window->panel()->tree();
        tree->companyItem(QStringLiteral("A"))->setExpanded(true);
        QTreeWidgetItem* a1 = tree->modelItem(QStringLiteral("A"), QStringLiteral("a1"));
        tree->setCurrentItem(a1);
        QVERIFY(activateAgain(window));
        // Nothing changed: the tree keeps its very nodes.
        QCOMPARE(tree->modelItem(QStringLiteral("A"), QStringLiteral("a1")), a1);

        catalogue::CatalogueDb other;
        QVERIFY(other.connectFile(file));
        QVERIFY(other.addCompany(QStringLiteral("新公司")));
        QVERIFY(other.addModel(4, test::hexModel(QStringLiteral("n1"), 1)));
        QVERIFY(!tree->companyItem(QStringLiteral("新公司")));

        QVERIFY(activateAgain(window));
        QTRY_VERIFY(tree->companyItem(QStringLiteral("新公司")));
        QCOMPARE(describeTree(tree), describeNames(other));
        QVERIFY(tree->companyItem(QStringLiteral("A"))->isExpanded());
        QCOMPARE(tree->currentItem(), tree->modelItem(QStringLiteral("A"), QStringLiteral("a1")));
        QCOMPARE(app.selectedModel().rows.size(), std::size_t(2));
    }
};

QTEST_MAIN(TestSharedCatalogueWindow)
#include "test_shared_catalogue_window.moc"

// The catalogue browser without widgets: tree contents, what a selection loads,
// the context-menu rules and the code-list rows.

#include "shell/cataloguebrowser.h"
#include "tests/shell/memorycatalogue.h"

#include <QSignalSpy>
#include <QTest>

using namespace pj;
using namespace pj::shell;

namespace {

// Two makers with the same model name, a model without keys and a model whose
// company is missing from COP.
void fill(test::MemoryCatalogue& c) {
    c.companyRows = {{1, QStringLiteral("Alda")}, {2, QStringLiteral("北光")}};
    c.modelRows = {{1, QStringLiteral("X1"), 1},
                   {2, QStringLiteral("X1"), 2},
                   {3, QStringLiteral("空型号"), 2},
                   {4, QStringLiteral("孤儿"), 9},
                   {5, QStringLiteral("Y2"), 1}};
    c.keyRows[1] = {{QStringLiteral("开机1"), QStringLiteral("a0 01"), 0, 1},
                    {QStringLiteral("关机1"), QStringLiteral("a0 02"), 1, 1},
                    {QStringLiteral("VGA1"), QStringLiteral("a0 03 0d"), 3, 2}};
    c.keyRows[2] = {{QStringLiteral("开机1"), QStringLiteral("b0 01"), 0, 0}};
    c.detailRows[1] = {19200, QStringLiteral("第一台"), {}};
    c.detailRows[2] = {9600, QStringLiteral("北光 X1"), {}};
    c.detailRows[3] = {38400, QString(), {}};
    c.detailRows[5] = {115200, QStringLiteral("Y"), {}};
}

NodeRef model(const char* company, const char* name) {
    return {NodeKind::Model, QString::fromUtf8(name), QString::fromUtf8(company)};
}
NodeRef company(const char* name) {
    return {NodeKind::Company, QString::fromUtf8(name), {}};
}
const NodeRef kRoot{NodeKind::Root, CatalogueBrowser::rootText(), {}};

} // namespace

class TestBrowser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tree_holdsCompaniesWithTheirModelsInCatalogueOrder() {
        test::MemoryCatalogue cat;
        fill(cat);
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();
        QCOMPARE(CatalogueBrowser::rootText(), QStringLiteral("选择投影机型号"));
        QCOMPARE(b.companies().size(), 2);
        QCOMPARE(b.companies()[0].name, QStringLiteral("Alda"));
        QCOMPARE(b.companies()[0].models.size(), 2);
        QCOMPARE(b.companies()[0].models[1].name, QStringLiteral("Y2"));
        QCOMPARE(b.companies()[1].models.size(), 2); // the orphan model is not shown
        b.build();                                   // a rebuild does not duplicate
        QCOMPARE(b.companies()[1].models.size(), 2);
    }

    void selectingModel_loadsRowsSpeedAndDescription() {
        test::MemoryCatalogue cat;
        fill(cat);
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();
        QSignalSpy shown(&b, &CatalogueBrowser::modelShownChanged);
        QSignalSpy desc(&b, &CatalogueBrowser::descriptionChanged);

        b.select(model("Alda", "X1"));
        QVERIFY(b.modelShown());
        QCOMPARE(shown.size(), 1);
        QCOMPARE(sm.selectedModelId, 1);
        QCOMPARE(sm.selectedBaud, 19200u);
        QCOMPARE(sm.selectedBaudText, std::string("19200"));
        QCOMPARE(sm.lastParity, 2u); // the last row loaded
        QCOMPARE(b.description(), QStringLiteral("第一台"));
        QCOMPARE(desc.size(), 1);
        QCOMPARE(b.codeList().rowCount(), 3);
        QCOMPARE(sm.rows[2].codeText, std::string("a0 03 0d"));
        QCOMPARE(sm.rows[2].keyType, 3u);
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(b.codeList().isSelected(r), r == 0);
            QCOMPARE(b.codeList().status(r), link::RowStatus::Unconfirmed);
        }
        QCOMPARE(
            b.codeList().data(b.codeList().index(1, CodeListModel::NameColumn), Qt::DisplayRole),
            QVariant(QStringLiteral("关机1")));

        // The same model name under the other company is a different model.
        b.select(model("北光", "X1"));
        QCOMPARE(sm.selectedModelId, 2);
        QCOMPARE(sm.rows.size(), 1u);
        QCOMPARE(sm.lastParity, 0u);
        QCOMPARE(shown.size(), 1); // still shown, no second signal
    }

    void reselectingModel_resetsTicksAndBoxes() {
        test::MemoryCatalogue cat;
        fill(cat);
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();
        b.select(model("Alda", "X1"));
        b.codeList().toggle(0);
        b.codeList().toggle(2);
        b.codeList().setStatus(1, link::RowStatus::Confirmed);
        b.select(model("Alda", "X1"));
        QVERIFY(b.codeList().isSelected(0));
        QVERIFY(!b.codeList().isSelected(2));
        QCOMPARE(b.codeList().status(1), link::RowStatus::Unconfirmed);
    }

    void selectingCompanyOrRoot_emptiesListAndHidesModel() {
        test::MemoryCatalogue cat;
        fill(cat);
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();
        for (const NodeRef& node : {company("Alda"), kRoot}) {
            b.select(model("Alda", "X1"));
            QVERIFY(b.modelShown());
            QSignalSpy reset(&b.codeList(), &QAbstractItemModel::modelReset);
            b.select(node);
            QVERIFY(!b.modelShown());
            QCOMPARE(b.codeList().rowCount(), 0);
            QCOMPARE(reset.size(), 1);
            QVERIFY(b.description().isEmpty());
            QCOMPARE(sm.lastParity, 0u);
            QCOMPARE(sm.selectedModelId, -1);
        }
    }

    void modelWithoutKeys_isShownWithItsSpeed() {
        test::MemoryCatalogue cat;
        fill(cat);
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();
        b.select(model("北光", "空型号"));
        QVERIFY(b.modelShown());
        QCOMPARE(b.codeList().rowCount(), 0);
        QCOMPARE(sm.selectedBaud, 38400u);
        QCOMPARE(sm.selectedModelId, 3);
    }

    void modelGoneFromCatalogue_showsNothing() {
        test::MemoryCatalogue cat;
        fill(cat);
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();
        b.select(model("Alda", "X1"));
        cat.modelRows.removeFirst(); // deleted by another program meanwhile
        b.select(model("Alda", "X1"));
        QVERIFY(!b.modelShown());
        QCOMPARE(b.codeList().rowCount(), 0);
        b.select(model("无此公司", "X1"));
        QVERIFY(!b.modelShown());
    }

    void longCodeText_isLoadedWhole() {
        test::MemoryCatalogue cat;
        fill(cat);
        QString longCode;
        for (int i = 0; i < 40; ++i)
            longCode += QStringLiteral("%1 ").arg(i % 256, 2, 16, QLatin1Char('0'));
        QCOMPARE(longCode.size(), 120);
        cat.keyRows[5] = {{QStringLiteral("长码"), longCode, 4, 0}};
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();
        b.select(model("Alda", "Y2"));
        QCOMPARE(QString::fromStdString(sm.rows[0].codeText), longCode);
    }

    void rightClick_setsInsertModeAndMenu() {
        test::MemoryCatalogue cat;
        fill(cat);
        link::SelectedModel sm;
        CatalogueBrowser b(cat, sm);
        b.build();

        auto root = b.rightClick(kRoot);
        QVERIFY(root);
        QCOMPARE(b.insertMode(), 0);
        QVERIFY(root->enabled(TreeCommand::AddCompany));
        for (TreeCommand c : {TreeCommand::AddModel, TreeCommand::DeleteCompany,
                              TreeCommand::ModifyModel, TreeCommand::DeleteModel})
            QVERIFY(!root->enabled(c));

        auto co = b.rightClick(company("北光"));
        QVERIFY(co);
        QCOMPARE(b.insertMode(), 1);
        QCOMPARE(b.currentCompanyId(), 2);
        QVERIFY(co->enabled(TreeCommand::AddModel) && co->enabled(TreeCommand::DeleteCompany));
        QVERIFY(!co->enabled(TreeCommand::AddCompany) && !co->enabled(TreeCommand::ModifyModel) &&
                !co->enabled(TreeCommand::DeleteModel));

        auto mo = b.rightClick(model("Alda", "Y2"));
        QVERIFY(mo);
        QCOMPARE(b.insertMode(), 2);
        QCOMPARE(b.currentCompanyId(), 2); // kept from the last company clicked
        QVERIFY(mo->enabled(TreeCommand::ModifyModel) && mo->enabled(TreeCommand::DeleteModel));
        QVERIFY(!mo->enabled(TreeCommand::AddCompany) && !mo->enabled(TreeCommand::AddModel) &&
                !mo->enabled(TreeCommand::DeleteCompany));

        // Empty space: no menu, nothing changes.
        QVERIFY(!b.rightClick(std::nullopt));
        QCOMPARE(b.insertMode(), 2);

        QCOMPARE(treeCommandText(kTreeCommands[0]), QStringLiteral("添加新公司"));
        QCOMPARE(treeCommandText(kTreeCommands[4]), QStringLiteral("删除投影机"));
        // "刷新" is offered on every node, last in the menu.
        for (const auto& menu : {root, co, mo})
            QVERIFY(menu->enabled(TreeCommand::Refresh));
        QCOMPARE(treeCommandText(kTreeCommands[5]), QStringLiteral("刷新"));
    }

    void echo_ticksFirstRowWithExactlyTheseBytes() {
        link::SelectedModel sm;
        CodeListModel list(sm);
        link::CodeList rows(4);
        rows[0].codeText = "a0 01";
        rows[1].codeText = "a0 02 0d";
        rows[2].codeText = "A0 02 0D"; // same bytes as row 1
        rows[3].codeText = "";
        list.setRows(rows);
        QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);

        const std::uint8_t partial[] = {0xa0};
        const std::uint8_t two[] = {0xa0, 0x01, 0xa0, 0x02, 0x0d};
        const std::uint8_t withCr[] = {0xa0, 0x01, 0x0d};
        QVERIFY(!list.matchEcho(partial));
        QVERIFY(!list.matchEcho(two));
        QVERIFY(!list.matchEcho(withCr));
        QVERIFY(!list.matchEcho({})); // an empty block is no echo of an empty code
        QCOMPARE(changed.size(), 0);

        const std::uint8_t row1[] = {0xa0, 0x02, 0x0d};
        QCOMPARE(list.matchEcho(row1), std::optional<int>(1));
        QCOMPARE(list.status(1), link::RowStatus::Confirmed);
        QCOMPARE(list.status(2), link::RowStatus::Unconfirmed);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex().column(), int(CodeListModel::StatusColumn));
        QCOMPARE(list.data(list.index(1, CodeListModel::StatusColumn), CodeListModel::StatusRole),
                 QVariant(int(link::RowStatus::Confirmed)));
    }

    void toggling_changesOnlyExistingRows() {
        link::SelectedModel sm;
        CodeListModel list(sm);
        list.setRows(link::CodeList(2));
        QVERIFY(list.toggle(1));
        QVERIFY(list.isSelected(1));
        QVERIFY(!list.toggle(2));
        QVERIFY(!list.toggle(-1));
        QVERIFY(list.setData(list.index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!sm.rows[1].selected);
        QVERIFY(!list.setData(list.index(1, 1), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(list.headerData(0, Qt::Horizontal, Qt::DisplayRole),
                 QVariant(QStringLiteral("选择")));
        QCOMPARE(list.headerData(3, Qt::Horizontal, Qt::DisplayRole),
                 QVariant(QStringLiteral("备注")));
    }
};

QTEST_GUILESS_MAIN(TestBrowser)
#include "test_browser.moc"

// The model editor's logic without widgets (rows, selection, loading a stored
// model, the checks before a save) and the catalogue edits against a scratch
// catalogue, with the browser kept in step.

#include "shell/cataloguedbreader.h"
#include "shell/editor/catalogueediting.h"
#include "shell/editor/modeleditorlogic.h"
#include "tests/editor/editor_test_support.h"

#include <QSignalSpy>
#include <QTest>

using namespace pj;
using namespace pj::shell;
using Field = ModelEditorLogic::Field;
using test::Scratch;

namespace {

QList<KeyRow> fourRows() {
    return {{QStringLiteral("n1"), QStringLiteral("a1"), 3},
            {QStringLiteral("n2"), QStringLiteral("a2"), 7},
            {QStringLiteral("n3"), QStringLiteral("a3"), 12},
            {QStringLiteral("n4"), QStringLiteral("a4"), 17}};
}

QStringList column(const KeyGridModel& grid, int column, int role = Qt::DisplayRole) {
    QStringList out;
    for (int r = 0; r < grid.rowCount(); ++r)
        out << grid.data(grid.index(r, column), role).toString();
    return out;
}

catalogue::KeyRecord key(const char* code, bool ascii, int parity, int slot = 0) {
    catalogue::KeyRecord k;
    k.function = QStringLiteral("k");
    k.code = QString::fromLatin1(code);
    k.slot = slot;
    k.ascii = ascii;
    k.parity = parity;
    return k;
}

catalogue::ModelRecord record(std::vector<catalogue::KeyRecord> keys) {
    catalogue::ModelRecord r;
    r.name = QStringLiteral("M1");
    r.baud = 19200;
    r.description = QStringLiteral("说明\n第二行");
    if (!keys.empty()) {
        r.ascii = keys.back().ascii;
        r.parity = keys.back().parity;
    }
    r.keys = std::move(keys);
    return r;
}

// A valid form: name, speed, one hex key.
void fillValid(ModelEditorLogic& form) {
    form.name = QStringLiteral("X100");
    form.baudText = QStringLiteral("9600");
    form.grid().setRows({{QStringLiteral("开机"), QStringLiteral("a0 01 0d"), 0}});
}

} // namespace

class TestEditing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ---- rows and their selection ----

    void deletingRow2Of4_renumbersAndEachSlotStaysWithItsRow() {
        ModelEditorLogic form;
        form.grid().setRows(fourRows());
        QVERIFY(form.clickCell(1, KeyGridModel::CodeColumn));
        QCOMPARE(form.selectedRow(), 2);
        QVERIFY(form.deleteSelectedRow());
        QCOMPARE(column(form.grid(), KeyGridModel::IdColumn), test::texts({"1", "2", "3"}));
        QCOMPARE(column(form.grid(), KeyGridModel::NameColumn), test::texts({"n1", "n3", "n4"}));
        QCOMPARE(column(form.grid(), KeyGridModel::SlotColumn, Qt::EditRole),
                 test::texts({"3", "12", "17"}));
        QCOMPARE(column(form.grid(), KeyGridModel::SlotColumn),
                 test::texts({"VGA1", "TV", "静音"}));

        // The selected number stays: it now names the row that moved up.
        QCOMPARE(form.selectedRow(), 2);
        QVERIFY(form.deleteSelectedRow());
        QCOMPARE(column(form.grid(), KeyGridModel::NameColumn), test::texts({"n1", "n4"}));
        QVERIFY(form.deleteSelectedRow());
        QCOMPARE(column(form.grid(), KeyGridModel::NameColumn), test::texts({"n1"}));
        QVERIFY(!form.canDeleteRow()); // row 2 is gone
        QVERIFY(!form.deleteSelectedRow());
        QCOMPARE(form.grid().rowCount(), 1);
    }

    void clicks_onlyNameAndCodeCellsSelectARowForEditing() {
        ModelEditorLogic form;
        form.grid().setRows(fourRows());
        QVERIFY(form.clickCell(3, KeyGridModel::NameColumn));
        QCOMPARE(form.selectedRow(), 4);
        for (int c : {int(KeyGridModel::IdColumn), int(KeyGridModel::SlotColumn),
                      int(KeyGridModel::RemarkColumn)}) {
            QVERIFY(form.clickCell(3, KeyGridModel::NameColumn));
            QVERIFY(!form.clickCell(2, c));
            QCOMPARE(form.selectedRow(), 0);
            QVERIFY(!form.canDeleteRow());
        }
        QVERIFY(!form.clickCell(-1, -1)); // below the last row
        QVERIFY(!form.clickCell(4, KeyGridModel::NameColumn));
        QCOMPARE(form.selectedRow(), 0);

        form.addRow();
        QCOMPARE(form.grid().rowCount(), 5);
        QCOMPARE(form.grid().rows().last(), KeyRow{});
        QCOMPARE(form.grid().data(form.grid().index(4, KeyGridModel::SlotColumn), Qt::DisplayRole),
                 QVariant(QStringLiteral("开机1")));
        QCOMPARE(KeyGridModel::slotNames().size(), 18);
        QCOMPARE(KeyGridModel::slotNames().last(), QStringLiteral("静音"));
        QVERIFY(!(form.grid().flags(form.grid().index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(
            !form.grid().setData(form.grid().index(0, KeyGridModel::SlotColumn), 18, Qt::EditRole));
    }

    // ---- loading a stored model ----

    void load_asciiCodesShowTheirCharacters_switchAndParityFromTheLastKey() {
        ModelEditorLogic form;
        form.load(record({key("41 54 0d", true, 2, 5), key("50 57 52 20 4f 4e 0d", true, 2)}));
        QCOMPARE(form.name, QStringLiteral("M1"));
        QCOMPARE(form.baudText, QStringLiteral("19200"));
        QCOMPARE(form.description, QStringLiteral("说明\n第二行"));
        QVERIFY(form.ascii);
        QVERIFY(!form.asciiShownAsHex());
        QCOMPARE(form.parity, 2);
        QCOMPARE(column(form.grid(), KeyGridModel::CodeColumn), test::texts({"AT", "PWR ON"}));
        QCOMPARE(form.grid().rows().first().slot, 5);
        QCOMPARE(form.selectedRow(), 0);

        form.load(record({}));
        QVERIFY(!form.ascii);
        QCOMPARE(form.parity, 0);
        QCOMPARE(form.grid().rowCount(), 0);

        form.load(record({key("a0 01", false, 1)}));
        QVERIFY(!form.ascii);
        QCOMPARE(form.parity, 1);
        QCOMPARE(column(form.grid(), KeyGridModel::CodeColumn), test::texts({"a0 01"}));
    }

    void load_asciiCodesThatWouldNotSaveBackUnchanged_showHexWithTheSwitchOff() {
        // Keys that disagree on ISASCII, a code without its closing carriage
        // return, a byte that is no printable character.
        for (const auto& keys :
             {std::vector{key("a0 01", false, 0), key("41 0d", true, 0)},
              std::vector{key("41 54", true, 0)}, std::vector{key("41 07 0d", true, 0)}}) {
            ModelEditorLogic form;
            form.load(record(keys));
            QVERIFY(!form.ascii);
            QVERIFY(form.asciiShownAsHex());
            QStringList stored;
            for (const auto& k : keys)
                stored << k.code;
            QCOMPARE(column(form.grid(), KeyGridModel::CodeColumn), stored);
            QVERIFY(!form.check()); // saves as it is, every code's bytes kept
        }
    }

    // ---- the checks before a save ----

    void parseBaud_takesPositiveWholeNumbersOnly() {
        QCOMPARE(ModelEditorLogic::parseBaud(QStringLiteral(" 9600 ")), std::optional(9600u));
        QCOMPARE(ModelEditorLogic::parseBaud(QStringLiteral("14400")), std::optional(14400u));
        for (const char* bad : {"abc", "", " ", "0", "-1", "+9600", "9600.5", "96 00", "9600bps"})
            QVERIFY2(!ModelEditorLogic::parseBaud(QString::fromLatin1(bad)), bad);
        QCOMPARE(ModelEditorLogic::parseBaud(QStringLiteral("99999999999999999999999")),
                 std::optional(4294967295u));
        QCOMPARE(ModelEditorLogic::baudItems(),
                 test::texts({"300", "600", "1200", "2400", "4800", "9600", "19200", "38400",
                              "57600", "115200"}));
        QCOMPARE(ModelEditorLogic::parityItems(), test::texts({"无校验", "奇校验", "偶校验"}));
    }

    void check_pointsAtTheFirstRefusedValue() {
        ModelEditorLogic form;
        fillValid(form);
        QVERIFY(!form.check());

        const auto problem = [&form]() {
            return form.check().value_or(ModelEditorLogic::Problem{});
        };

        for (const char* blank : {"", "   "}) {
            form.name = QString::fromLatin1(blank);
            QCOMPARE(problem().field, Field::Name);
            QVERIFY(problem().nameMissing);
            QCOMPARE(problem().message, QStringLiteral("请填写型号！"));
        }
        form.name = QString(51, QLatin1Char('N'));
        QCOMPARE(problem().field, Field::Name);
        QVERIFY(!problem().nameMissing);
        QVERIFY(problem().message.contains(QLatin1String("50")));
        form.name = QString(50, QChar(u'型')); // 50 characters are allowed
        QVERIFY(!form.check());

        form.baudText = QStringLiteral("abc");
        QCOMPARE(problem().field, Field::Baud);
        QCOMPARE(problem().message, QStringLiteral("波特率无效"));
        form.baudText = QStringLiteral("0");
        QCOMPARE(problem().message, QStringLiteral("波特率无效"));
        form.baudText = QStringLiteral("4294967296");
        QCOMPARE(problem().field, Field::Baud); // the catalogue's own limit
        QVERIFY(!problem().message.isEmpty());
        form.baudText = QStringLiteral("9600");

        form.description = QString(65536, QLatin1Char('d'));
        QCOMPARE(problem().field, Field::Description);
        form.description.clear();

        form.grid().setRows({{QStringLiteral("ok"), QStringLiteral("a0"), 0},
                             {QString(51, QLatin1Char('k')), QStringLiteral("a0"), 1}});
        QCOMPARE(problem().field, Field::KeyName);
        QCOMPARE(problem().row, 1);

        form.grid().setRows({{QStringLiteral("ok"), QStringLiteral("a0"), 0},
                             {QStringLiteral("ok"), QStringLiteral("a0"), 1},
                             {QStringLiteral("bad"), QStringLiteral("zz"), 2}});
        QCOMPARE(problem().field, Field::KeyCode);
        QCOMPARE(problem().row, 2);
        QCOMPARE(problem().message, QStringLiteral("功能码格式错误"));

        // 86 typed characters are 86 pairs and " 0d": 260 characters stored.
        form.ascii = true;
        form.grid().setRows({{QStringLiteral("long"), QString(86, QLatin1Char('A')), 0}});
        QCOMPARE(problem().field, Field::KeyCode);
        QCOMPARE(problem().row, 0);
        QVERIFY(problem().message.contains(QLatin1String("255")));
        form.grid().setRows({{QStringLiteral("fits"), QString(84, QLatin1Char('A')), 0}});
        QVERIFY(!form.check());
        form.grid().setRows({{QStringLiteral("中文"), QStringLiteral("开机"), 0}});
        QCOMPARE(problem().field, Field::KeyCode); // only printable ASCII as text

        form.grid().setRows({{QStringLiteral("slot"), QStringLiteral("A"), 30}});
        QCOMPARE(problem().field, Field::KeySlot);
        QCOMPARE(problem().row, 0);
    }

    void input_isWhatTheFormHoldsWithTheNameTrimmed() {
        ModelEditorLogic form;
        fillValid(form);
        form.name = QStringLiteral("  X100 ");
        form.baudText = QStringLiteral(" 14400");
        form.parity = 2;
        form.ascii = true;
        form.description = QStringLiteral(" 备注 ");
        form.grid().setRows({{QStringLiteral(" 开机 "), QStringLiteral("AT"), 4}});
        const catalogue::ModelInput in = form.input();
        QCOMPARE(in.name, QStringLiteral("X100"));
        QCOMPARE(in.baud, 14400u);
        QCOMPARE(in.parity, 2);
        QVERIFY(in.ascii && !in.codesStored);
        QCOMPARE(in.description, QStringLiteral(" 备注 "));
        QCOMPARE(in.keys.size(), std::size_t{1});
        QCOMPARE(in.keys[0].function, QStringLiteral(" 开机 "));
        QCOMPARE(in.keys[0].code, QStringLiteral("AT"));
        QCOMPARE(in.keys[0].slot, 4);
    }

    // ---- catalogue edits with the browser in step ----

    void asciiCodeAT_isStoredAs415430d_andLoadsAsATAgain() {
        Scratch s;
        s.open();
        ModelEditorLogic form;
        form.name = QStringLiteral("AT型");
        form.ascii = true;
        form.parity = 1;
        form.grid().setRows({{QStringLiteral("开机"), QStringLiteral("AT"), 0}});
        QVERIFY(!form.check());
        auto id = s.editing->addModel(QStringLiteral("B"), form.input());
        QVERIFY(id);
        QCOMPARE(*id, 7);
        const auto stored = s.db.loadModel(*id);
        QVERIFY(stored);
        QCOMPARE(stored->keys.size(), std::size_t{1});
        QCOMPARE(stored->keys[0].code, QStringLiteral("41 54 0d"));
        QVERIFY(stored->keys[0].ascii);
        QCOMPARE(stored->keys[0].parity, 1);

        ModelEditorLogic again;
        again.load(*stored);
        QVERIFY(again.ascii);
        QCOMPARE(column(again.grid(), KeyGridModel::CodeColumn), test::texts({"AT"}));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
    }

    void addCompany_blankOrDuplicateWritesNothing_aNewOneJoinsTheBrowser() {
        Scratch s;
        s.open();
        const QString before = test::everything(s.db);
        QSignalSpy added(s.browser.get(), &CatalogueBrowser::companyNodeAdded);
        for (const char* name : {"", "  ", "\t"}) {
            auto r = s.editing->addCompany(QString::fromLatin1(name));
            QVERIFY(!r);
            QCOMPARE(r.error().message, QStringLiteral("请填写公司名称！"));
        }
        auto dup = s.editing->addCompany(QStringLiteral(" B "));
        QVERIFY(!dup);
        QCOMPARE(dup.error().message, QStringLiteral("该公司名称已经存在!"));
        QCOMPARE(test::everything(s.db), before);
        QCOMPARE(added.size(), 0);

        auto id = s.editing->addCompany(QStringLiteral("  新公司 "));
        QVERIFY(id);
        QCOMPARE(*id, 4);
        QCOMPARE(added.size(), 1);
        QCOMPARE(added[0][0].toString(), QStringLiteral("新公司"));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
    }

    void addCompany_toAnEmptyCatalogue_getsIdOne() {
        Scratch s;
        s.open(false);
        auto id = s.editing->addCompany(QStringLiteral("第一"));
        QVERIFY(id);
        QCOMPARE(*id, 1);
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
    }

    void addModel_duplicateInTheCompanyWritesNothing() {
        Scratch s;
        s.open();
        const QString before = test::everything(s.db);
        QSignalSpy added(s.browser.get(), &CatalogueBrowser::modelNodeAdded);
        auto r = s.editing->addModel(QStringLiteral("A"), test::hexModel(QStringLiteral("a2"), 1));
        QVERIFY(!r);
        QCOMPARE(r.error().code, catalogue::ErrorCode::ModelExists);
        QCOMPARE(r.error().message, QStringLiteral("该型号已经存在!"));
        QCOMPARE(test::everything(s.db), before);
        QCOMPARE(added.size(), 0);
        // The same name under another company is another model.
        QVERIFY(s.editing->addModel(QStringLiteral("C"), test::hexModel(QStringLiteral("a2"), 1)));
        QCOMPARE(added.size(), 1);
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
    }

    void deleteModel_keepsIdsDenseAndTheBrowserInStep() {
        Scratch s;
        s.open();
        QSignalSpy removed(s.browser.get(), &CatalogueBrowser::modelNodeRemoved);
        QVERIFY(s.editing->deleteModel(QStringLiteral("C"), QStringLiteral("c1"))); // ID 3
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed[0][1].toString(), QStringLiteral("c1"));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
        QCOMPARE(test::describe(s.db),
                 test::texts({"1:A[1:a1@1,3:a2@1]", "2:B[2:b1@2,4:b2@2]", "3:C[5:c2@3]"}));
        // A later model keeps working under its new number.
        auto c2 = s.editing->loadModel(QStringLiteral("C"), QStringLiteral("c2"));
        QVERIFY(c2);
        QCOMPARE(c2->id, 5);
        QCOMPARE(c2->keys[0].code, QStringLiteral("a3 00 0d"));
        // Then a new model takes the next number.
        auto id = s.editing->addModel(QStringLiteral("A"), test::hexModel(QStringLiteral("a3"), 1));
        QVERIFY(id);
        QCOMPARE(*id, 6);
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
        auto problems = s.db.checkCatalogue();
        QVERIFY(problems && problems->empty());
    }

    void deleteCompany_withModelsSpreadOverTheIds_keepsEverythingInStep() {
        Scratch s;
        s.open();
        QSignalSpy removed(s.browser.get(), &CatalogueBrowser::companyNodeRemoved);
        QVERIFY(s.editing->deleteCompany(QStringLiteral("B"))); // models 2 and 5
        QCOMPARE(removed.size(), 1);
        QCOMPARE(test::describe(s.db), test::texts({"1:A[1:a1@1,3:a2@1]", "2:C[2:c1@2,4:c2@2]"}));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
        auto c2 = s.editing->loadModel(QStringLiteral("C"), QStringLiteral("c2"));
        QVERIFY(c2);
        QCOMPARE(c2->keys[1].code, QStringLiteral("a3 01 0d"));
        auto problems = s.db.checkCatalogue();
        QVERIFY(problems && problems->empty());

        // The last company, then a company without models.
        QVERIFY(s.editing->deleteCompany(QStringLiteral("C")));
        QVERIFY(s.editing->addCompany(QStringLiteral("空")));
        QVERIFY(s.editing->deleteCompany(QStringLiteral("空")));
        QCOMPARE(test::describe(s.db), test::texts({"1:A[1:a1@1,2:a2@1]"}));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
        QVERIFY(!s.editing->deleteCompany(QStringLiteral("B"))); // gone already
    }

    void modify_thatFailsHalfway_leavesTheOldKeysAndTheBrowser() {
        Scratch s;
        s.open();
        const QString before = test::everything(s.db);
        QCOMPARE(test::failKeyInserts(s.file, QStringLiteral("ee")), QString());
        ModelEditorLogic form;
        const auto asRead = s.editing->loadModel(QStringLiteral("A"), QStringLiteral("a2"));
        form.load(*asRead);
        form.name = QStringLiteral("a2 改");
        form.grid().appendRow();
        form.grid().setData(form.grid().index(2, KeyGridModel::CodeColumn), QStringLiteral("ee"),
                            Qt::EditRole);
        QVERIFY(!form.check());
        QSignalSpy renamed(s.browser.get(), &CatalogueBrowser::modelNodeRenamed);
        auto r = s.editing->modifyModel(QStringLiteral("A"), *asRead, form.input());
        QVERIFY(!r);
        QVERIFY(r.error().message.contains(QLatin1String("key refused")));
        QCOMPARE(test::everything(s.db), before);
        QCOMPARE(renamed.size(), 0);
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
    }

    void modify_renamesTheNodeAndReloadsTheShownModel() {
        Scratch s;
        s.open();
        const NodeRef a2{NodeKind::Model, QStringLiteral("a2"), QStringLiteral("A")};
        s.browser->select(a2);
        QCOMPARE(s.browser->codeList().rowCount(), 2);
        ModelEditorLogic form;
        const auto asRead = s.editing->loadModel(QStringLiteral("A"), QStringLiteral("a2"));
        form.load(*asRead);
        form.name = QStringLiteral("a2-new");
        form.baudText = QStringLiteral("38400");
        form.grid().appendRow();
        form.grid().setData(form.grid().index(2, KeyGridModel::CodeColumn), QStringLiteral("b0 0d"),
                            Qt::EditRole);
        QSignalSpy renamed(s.browser.get(), &CatalogueBrowser::modelNodeRenamed);
        QVERIFY(s.editing->modifyModel(QStringLiteral("A"), *asRead, form.input()));
        QCOMPARE(renamed.size(), 1);
        QCOMPARE(renamed[0][2].toString(), QStringLiteral("a2-new"));
        QCOMPARE(s.browser->codeList().rowCount(), 3);
        QCOMPARE(s.selected.selectedBaud, 38400u);
        QCOMPARE(s.selected.rows[2].codeText, std::string("b0 0d"));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));

        // A duplicate name in the company is refused and nothing changes.
        const QString before = test::everything(s.db);
        form.name = QStringLiteral("a1");
        const auto again = s.editing->loadModel(QStringLiteral("A"), QStringLiteral("a2-new"));
        QVERIFY(again);
        auto dup = s.editing->modifyModel(QStringLiteral("A"), *again, form.input());
        QVERIFY(!dup);
        QCOMPARE(dup.error().message, QStringLiteral("该型号已经存在!"));
        QCOMPARE(test::everything(s.db), before);
    }
};

QTEST_GUILESS_MAIN(TestEditing)
#include "test_editing.moc"

// The model editor's logic with the makers' framing rules (the delivered rules
// file): which codes are flagged and why, how the name and the "ASCII码" switch
// change that, the one-call correction (also when the switch must go off), the
// bytes a test send would use, and the save question asked once.

#include "codecheck/load.h"
#include "shell/editor/modeleditorlogic.h"

#include <QSignalSpy>
#include <QTest>

using namespace pj;
using namespace pj::shell;

namespace {

std::shared_ptr<const codecheck::Checker> deliveredChecker() {
    static const auto checker = [] {
        auto loaded = codecheck::loadRules();
        if (!loaded.ok())
            qFatal("the delivered rules do not load");
        return std::make_shared<const codecheck::Checker>(loaded.rules);
    }();
    return checker;
}

// A form of `company` with the rules installed, the switch and the codes set.
void fill(ModelEditorLogic& form, const QString& company, const QString& model, bool ascii,
          const QStringList& codes) {
    form.name = model;
    form.ascii = ascii;
    form.setChecker(deliveredChecker(), company);
    QList<KeyRow> rows;
    for (int i = 0; i < codes.size(); ++i)
        rows.append({QStringLiteral("键%1").arg(i + 1), codes[i], i});
    form.grid().setRows(rows);
}

QString problem(const ModelEditorLogic& form, int row) {
    return form.grid().codeProblem(row);
}

} // namespace

class TestCodeChecks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void epson_hexCodeWithoutItsCR_isFlaggedWithItsReason_andTheOthersAreNot() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("爱普生 Epson"), QStringLiteral("EB-X41"), false,
             {QStringLiteral("50 57 52 20 4f 4e 0d"), QStringLiteral("50 57 52 20 4f 4e"),
              QString()});
        QVERIFY(form.codesChecked());
        QCOMPARE(form.maker(), QStringLiteral("Epson"));
        QCOMPARE(form.grid().flaggedRows(), QList<int>{1});
        QCOMPARE(problem(form, 1), QStringLiteral("缺少结束符 0d"));
        QVERIFY(problem(form, 2).isEmpty()); // nothing typed yet is not flagged
        const QModelIndex code = form.grid().index(1, KeyGridModel::CodeColumn);
        QCOMPARE(code.data(Qt::ToolTipRole).toString(), QStringLiteral("缺少结束符 0d"));
        QCOMPARE(code.data(KeyGridModel::ProblemRole).toString(), QStringLiteral("缺少结束符 0d"));
        QVERIFY(form.grid()
                    .index(1, KeyGridModel::NameColumn)
                    .data(KeyGridModel::ProblemRole)
                    .toString()
                    .isEmpty());
        const auto report = form.checkCode(QStringLiteral("50 57 52 20 4f 4e"));
        QVERIFY(report);
        QCOMPARE(form.fixText(*report), QStringLiteral("50 57 52 20 4f 4e 0d"));
    }

    void typingACode_flagsAndUnflagsItAsItChanges() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("NEC"), QStringLiteral("P474W"), false,
             {QStringLiteral("02 00 00 00 00 02")});
        QVERIFY(form.grid().flaggedRows().isEmpty());
        QSignalSpy changed(&form.grid(), &KeyGridModel::codeProblemsChanged);
        const QModelIndex code = form.grid().index(0, KeyGridModel::CodeColumn);
        form.grid().setData(code, QStringLiteral("02 00 00 00 00 03"), Qt::EditRole);
        QCOMPARE(problem(form, 0), QStringLiteral("校验和应为 02（现为 03）"));
        QCOMPARE(changed.size(), 1);
        form.grid().setData(code, QStringLiteral("02 00 00 00 00 02"), Qt::EditRole);
        QVERIFY(problem(form, 0).isEmpty());
        QCOMPARE(changed.size(), 2);
        // Rows that come and go keep their own problems.
        form.grid().appendRow();
        form.grid().setData(form.grid().index(1, KeyGridModel::CodeColumn),
                            QStringLiteral("02 00 00 00 00 05"), Qt::EditRole);
        form.grid().appendRow();
        QCOMPARE(form.grid().flaggedRows(), QList<int>{1});
        QVERIFY(form.grid().removeRowAt(0));
        QCOMPARE(form.grid().flaggedRows(), QList<int>{0});
    }

    void theSwitch_givesAsciiCodesTheirMakersTerminatorRule() {
        // Epson wants the CR the switch adds.
        ModelEditorLogic epson;
        fill(epson, QStringLiteral("爱普生 Epson"), QStringLiteral("EB"), true,
             {QStringLiteral("PWR ON")});
        QVERIFY(epson.grid().flaggedRows().isEmpty());
        epson.ascii = false; // the same text as hex is no code
        epson.recheckCodes();
        QCOMPARE(epson.grid().flaggedRows(), QList<int>{0});

        // Casio wants none: the switch's 0d is flagged, and the correction is
        // hex with the switch off.
        ModelEditorLogic casio;
        fill(casio, QStringLiteral("卡西欧 Casio"), QStringLiteral("XJ-A"), true,
             {QStringLiteral("(PWR1)"), QStringLiteral("(PWR0)")});
        QCOMPARE(casio.grid().flaggedRows(), (QList<int>{0, 1}));
        QVERIFY(problem(casio, 0).startsWith(QStringLiteral("多余的结束符 0d（ASCII码")));
        const auto report = casio.checkCode(QStringLiteral("(PWR1)"));
        QVERIFY(report && report->fix);
        QCOMPARE(casio.fixText(*report), QStringLiteral("（关闭 ASCII码）28 50 57 52 31 29"));
    }

    void aRuleForOneModel_followsTheModelsName() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("佳能 Canon"), QStringLiteral("LV-S4"), true,
             {QStringLiteral("C00"), QStringLiteral("PWR")});
        QVERIFY(form.codesChecked());
        QCOMPARE(form.grid().flaggedRows(), QList<int>{1});
        // A Canon model no rule names is not checked.
        form.name = QStringLiteral("LV-X9");
        form.recheckCodes();
        QVERIFY(!form.codesChecked());
        QVERIFY(form.grid().flaggedRows().isEmpty());
        QVERIFY(form.checkCode(QStringLiteral("PWR"))->ok());
    }

    void withoutAChecker_nothingIsFlagged() {
        ModelEditorLogic form;
        form.ascii = false;
        form.grid().setRows({{QStringLiteral("k"), QStringLiteral("50 57 52"), 0}});
        QVERIFY(!form.codesChecked());
        QVERIFY(!form.checkCode(QStringLiteral("50 57 52")));
        QVERIFY(form.grid().flaggedRows().isEmpty());
        QVERIFY(!form.saveNeedsQuestion());
        form.setChecker(deliveredChecker(), QStringLiteral("爱普生 Epson"));
        QCOMPARE(form.grid().flaggedRows(), QList<int>{0});
        form.setChecker(nullptr, QStringLiteral("爱普生 Epson"));
        QVERIFY(form.grid().flaggedRows().isEmpty());
    }

    void applyFix_putsTheCodeRight_inTheFormItWasTyped() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("NEC"), QStringLiteral("P474W"), false,
             {QStringLiteral("02 00 00 00 00 03"), QStringLiteral("02 01 00 00 00 05")});
        QCOMPARE(form.grid().flaggedRows(), (QList<int>{0, 1}));
        QCOMPARE(form.applyFix(1), std::nullopt);
        QCOMPARE(form.grid().rows()[1].code, QStringLiteral("02 01 00 00 00 03"));
        QCOMPARE(form.grid().flaggedRows(), QList<int>{0});
        QCOMPARE(form.applyFix(0), std::nullopt);
        QCOMPARE(form.grid().rows()[0].code, QStringLiteral("02 00 00 00 00 02"));
        QVERIFY(form.grid().flaggedRows().isEmpty());
        // A code that keeps its rule, or a row that is not there, has no correction.
        QVERIFY(form.applyFix(0).has_value());
        QVERIFY(form.applyFix(5).has_value());

        // Epson ASCII text stays text.
        ModelEditorLogic epson;
        fill(epson, QStringLiteral("爱普生 Epson"), QStringLiteral("EB"), false,
             {QStringLiteral("50 57 52 3f")});
        QCOMPARE(epson.applyFix(0), std::nullopt);
        QCOMPARE(epson.grid().rows()[0].code, QStringLiteral("50 57 52 3f 0d"));
    }

    void applyFix_thatNeedsTheSwitchOff_showsEveryOtherCodeAsHexWithItsBytes() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("卡西欧 Casio"), QStringLiteral("XJ-A"), true,
             {QStringLiteral("(PWR1)"), QStringLiteral("(PWR0)"), QString()});
        const auto before = form.codeBytes(1);
        QCOMPARE(form.applyFix(0), std::nullopt);
        QVERIFY(!form.ascii);
        QCOMPARE(form.grid().rows()[0].code, QStringLiteral("28 50 57 52 31 29"));
        QCOMPARE(form.grid().rows()[1].code, QStringLiteral("28 50 57 52 30 29 0d"));
        QVERIFY(form.grid().rows()[2].code.isEmpty());
        QCOMPARE(form.codeBytes(1), before);
        // The other code is still flagged, now as hex, and is put right the same way.
        QCOMPARE(form.grid().flaggedRows(), QList<int>{1});
        QCOMPARE(form.applyFix(1), std::nullopt);
        QCOMPARE(form.grid().rows()[1].code, QStringLiteral("28 50 57 52 30 29"));
        QVERIFY(form.grid().flaggedRows().isEmpty());
    }

    void applyFix_refusedWhenAnotherCodeCannotBeShownAsHex_changesNothing() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("卡西欧 Casio"), QStringLiteral("XJ-A"), true,
             {QStringLiteral("(PWR1)"), QStringLiteral("电源")});
        const QList<KeyRow> rows = form.grid().rows();
        const auto refused = form.applyFix(0);
        QVERIFY(refused);
        QVERIFY2(refused->contains(QStringLiteral("第 2 行")), qPrintable(*refused));
        QVERIFY(form.ascii);
        QCOMPARE(form.grid().rows(), rows);
    }

    void codeBytes_areWhatWouldBeStored() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("爱普生 Epson"), QStringLiteral("EB"), true,
             {QStringLiteral("PWR?"), QString(), QStringLiteral("电源")});
        QCOMPARE(form.codeBytes(0), (std::optional<link::Bytes>{{0x50, 0x57, 0x52, 0x3f, 0x0d}}));
        QString why;
        QVERIFY(!form.codeBytes(1, &why));
        QCOMPARE(why, QStringLiteral("功能码为空，没有发送"));
        QVERIFY(!form.codeBytes(2, &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!form.codeBytes(7, &why));
        form.ascii = false;
        form.grid().setData(form.grid().index(0, KeyGridModel::CodeColumn),
                            QStringLiteral("50 57 5"), Qt::EditRole);
        QVERIFY(!form.codeBytes(0));
    }

    void saveQuestion_isAskedUntilTheFlaggedCodesAreLetThrough_andAgainForANewOne() {
        ModelEditorLogic form;
        fill(form, QStringLiteral("NEC"), QStringLiteral("P474W"), false,
             {QStringLiteral("02 01 00 00 00 03"), QStringLiteral("02 00 00 00 00 03")});
        form.grid().setData(form.grid().index(1, KeyGridModel::NameColumn), QStringLiteral("开机"),
                            Qt::EditRole);
        QVERIFY(form.saveNeedsQuestion());
        QCOMPARE(form.flaggedLines(),
                 QStringList{QStringLiteral("第 2 行 开机：校验和应为 02（现为 03）")});
        form.allowFlaggedCodes();
        QVERIFY(!form.saveNeedsQuestion());
        // The same code moved to another row is the same code.
        QVERIFY(form.grid().removeRowAt(0));
        QCOMPARE(form.grid().flaggedRows(), QList<int>{0});
        QVERIFY(!form.saveNeedsQuestion());
        form.grid().setData(form.grid().index(0, KeyGridModel::CodeColumn),
                            QStringLiteral("02 00 00 00 00 04"), Qt::EditRole);
        QVERIFY(form.saveNeedsQuestion());
        form.grid().setData(form.grid().index(0, KeyGridModel::CodeColumn),
                            QStringLiteral("02 00 00 00 00 02"), Qt::EditRole);
        QVERIFY(!form.saveNeedsQuestion());
        QVERIFY(form.flaggedLines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCodeChecks)
#include "test_code_checks.moc"

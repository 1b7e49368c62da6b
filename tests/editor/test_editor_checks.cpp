// The model editor with the makers' framing rules, driven through its widgets
// by object name: a flagged code is tinted while it is typed and in its cell,
// with its reason as tooltip and in the line under the grid; "改正" puts it
// right with one click (turning "ASCII码" off where the maker wants no 0d); a
// save with flagged codes asks once; "试发" hands the selected row's code with
// the speed and parity shown to the program.

#include "codecheck/load.h"
#include "shell/dialogs/modal.h"
#include "shell/editor/keygrid.h"
#include "shell/editor/modeleditor.h"
#include "skin/units.h"
#include "tests/editor/editor_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace pj;
using namespace pj::shell;
using test::Scratch;

namespace {

template <typename T = QWidget> T* child(QWidget& parent, const char* name) {
    auto* w = parent.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qWarning("no control named %s", name);
    return w;
}

EditorServices checking() {
    auto loaded = codecheck::loadRules();
    if (!loaded.ok())
        qFatal("the delivered rules do not load");
    EditorServices services;
    services.checker = std::make_shared<const codecheck::Checker>(loaded.rules);
    return services;
}

QModelIndex cell(KeyGrid* grid, int row, int column) {
    return grid->model()->index(row, column);
}

void clickCell(KeyGrid* grid, int row, int column) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(cell(grid, row, column)).center());
}

// Clicks the code cell and types `text` into its cell editor key by key.
void typeCode(KeyGrid* grid, int row, const QString& text) {
    clickCell(grid, row, KeyGridModel::CodeColumn);
    QLineEdit* editor = grid->cellEditor();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClicks(editor, text);
}

// The colour drawn in the right part of a cell (clear of its text).
QColor cellColour(KeyGrid* grid, int row, int column) {
    const QImage shot = grid->viewport()->grab().toImage();
    const QRect r = grid->visualRect(cell(grid, row, column));
    return QColor(shot.pixel(r.right() - 8, r.center().y()));
}

// A dialog of `company` with `rows` empty rows, shown.
struct Editor {
    Scratch s;
    std::unique_ptr<ModelEditor> d;
    KeyGrid* grid = nullptr;
    QLabel* line = nullptr;
    QPushButton* fix = nullptr;

    Editor(const QString& company, int rows, EditorServices services = checking()) {
        s.open();
        if (!s.editing->addCompany(company))
            qFatal("cannot add the company");
        d = std::make_unique<ModelEditor>(*s.editing, company, nullptr, services);
        d->show();
        if (!QTest::qWaitForWindowExposed(d.get()))
            qFatal("the editor is not shown");
        grid = child<KeyGrid>(*d, "grid1028");
        line = child<QLabel>(*d, "labelCheck");
        fix = child<QPushButton>(*d, "buttonFix");
        for (int i = 0; i < rows; ++i)
            child<QPushButton>(*d, "button1029")->click();
    }
    QString lineText() const { return line->toolTip(); } // the whole line, never elided
    QString code(int row) const {
        return cell(grid, row, KeyGridModel::CodeColumn).data().toString();
    }
};

} // namespace

class TestEditorChecks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void theLineAndTheFixButton_sitUnderTheGridAndAboveTheButtons() {
        Editor e(QStringLiteral("爱普生 Epson"), 0);
        QCOMPARE(e.d->size(), skin::dluSize(ModelEditor::kWidthDlu, ModelEditor::kHeightDlu));
        QVERIFY(e.line->isVisible() && e.fix->isVisible());
        QCOMPARE(e.fix->text(), QStringLiteral("改正"));
        QVERIFY(!e.fix->isEnabled());
        const QRect grid = e.grid->geometry();
        QVERIFY(e.line->geometry().top() > grid.bottom());
        QVERIFY(e.fix->geometry().right() <= grid.right());
        auto* ok = child<QPushButton>(*e.d, "button1030");
        QVERIFY(ok->geometry().top() > e.fix->geometry().bottom());
        QVERIFY(ok->geometry().bottom() < e.d->height());
        // Without a test send the program offers none.
        QVERIFY(!child<QPushButton>(*e.d, "buttonTestSend")->isVisible());
        // Without rules nothing of it shows.
        Scratch s;
        s.open();
        ModelEditor plain(*s.editing, QStringLiteral("A"));
        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        QVERIFY(!child<QLabel>(plain, "labelCheck")->isVisible());
        QVERIFY(!child<QPushButton>(plain, "buttonFix")->isVisible());
    }

    void codeWithoutItsTerminator_isTintedWhileTypedAndInItsCell_withItsReason() {
        Editor e(QStringLiteral("爱普生 Epson"), 2);
        typeCode(e.grid, 0, QStringLiteral("50 57 52 3f 0d"));
        QLineEdit* editor = e.grid->cellEditor();
        QCOMPARE(editor->palette().color(QPalette::Base), e.grid->palette().color(QPalette::Base));
        QVERIFY(editor->toolTip().isEmpty());
        QCOMPARE(e.lineText(), QStringLiteral("功能码符合 Epson 的规则"));

        // Two keys less: the CR is gone.
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(editor->text(), QStringLiteral("50 57 52 3f"));
        QCOMPARE(editor->palette().color(QPalette::Base), KeyGrid::flaggedColour());
        QCOMPARE(editor->toolTip(), QStringLiteral("缺少结束符 0d"));
        QCOMPARE(e.lineText(), QStringLiteral("第 1 行：缺少结束符 0d，可改为 50 57 52 3f 0d"));
        QVERIFY(e.fix->isEnabled());

        // Into the cell: tinted there, the reason its tooltip; other rows stay blue.
        clickCell(e.grid, 1, KeyGridModel::IdColumn);
        QVERIFY(!e.grid->cellEditor());
        QCOMPARE(cellColour(e.grid, 0, KeyGridModel::CodeColumn), KeyGrid::flaggedColour());
        QCOMPARE(cellColour(e.grid, 0, KeyGridModel::NameColumn), KeyGrid::rowColour());
        QCOMPARE(cellColour(e.grid, 1, KeyGridModel::CodeColumn), KeyGrid::rowColour());
        QCOMPARE(cell(e.grid, 0, KeyGridModel::CodeColumn).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("缺少结束符 0d"));
        QCOMPARE(e.lineText(), QStringLiteral("第 1 行：缺少结束符 0d，可改为 50 57 52 3f 0d"));
        QVERIFY(!e.line->text().isEmpty());

        // A second flagged code: the line tells of the selected one and the count.
        typeCode(e.grid, 1, QStringLiteral("50 57 52 07 0d"));
        clickCell(e.grid, 1, KeyGridModel::NameColumn);
        QCOMPARE(e.lineText(),
                 QStringLiteral(
                     "第 2 行：第 4 字节 07 不是可打印字符（共 2 个功能码不符合厂家的规则）"));
        QVERIFY(!e.fix->isEnabled()); // the checker cannot tell what was meant
    }

    void fix_putsTheCodeRightWithOneClick() {
        Editor e(QStringLiteral("NEC"), 1);
        typeCode(e.grid, 0, QStringLiteral("02 00 00 00 00 03"));
        QCOMPARE(e.lineText(),
                 QStringLiteral("第 1 行：校验和应为 02（现为 03），可改为 02 00 00 00 00 02"));
        e.fix->click();
        QVERIFY(!e.grid->cellEditor());
        QCOMPARE(e.code(0), QStringLiteral("02 00 00 00 00 02"));
        QVERIFY(cell(e.grid, 0, KeyGridModel::CodeColumn)
                    .data(KeyGridModel::ProblemRole)
                    .toString()
                    .isEmpty());
        QCOMPARE(e.lineText(), QStringLiteral("功能码符合 NEC 的规则"));
        QVERIFY(!e.fix->isEnabled());
        QCOMPARE(e.d->logic().selectedRow(), 1);
    }

    void asciiCodeForAMakerThatWantsNoTerminator_fixTurnsTheSwitchOff() {
        Editor e(QStringLiteral("卡西欧 Casio"), 2);
        auto* ascii = child<QCheckBox>(*e.d, "check1051");
        ascii->setChecked(true);
        typeCode(e.grid, 0, QStringLiteral("(PWR1)"));
        typeCode(e.grid, 1, QStringLiteral("(PWR0)"));
        clickCell(e.grid, 0, KeyGridModel::CodeColumn);
        QVERIFY(e.lineText().startsWith(QStringLiteral("第 1 行：多余的结束符 0d（ASCII码")));
        QVERIFY(e.lineText().contains(QStringLiteral("可改为（关闭 ASCII码）28 50 57 52 31 29")));
        e.fix->click();
        QVERIFY(!ascii->isChecked());
        QVERIFY(!e.d->logic().ascii);
        QCOMPARE(e.code(0), QStringLiteral("28 50 57 52 31 29"));
        QCOMPARE(e.code(1), QStringLiteral("28 50 57 52 30 29 0d")); // same bytes, now hex
        QCOMPARE(e.d->logic().grid().flaggedRows(), QList<int>{1});
        // Turning the switch on again judges every code as text.
        ascii->setChecked(true);
        QCOMPARE(e.d->logic().grid().flaggedRows(), (QList<int>{0, 1}));
    }

    void theModelsName_choosesTheRule() {
        Editor e(QStringLiteral("佳能 Canon"), 1);
        child<QCheckBox>(*e.d, "check1051")->setChecked(true);
        auto* name = child<QLineEdit>(*e.d, "edit1026");
        name->setText(QStringLiteral("LV-S4"));
        typeCode(e.grid, 0, QStringLiteral("PWR"));
        clickCell(e.grid, 0, KeyGridModel::IdColumn);
        QCOMPARE(e.d->logic().grid().flaggedRows(), QList<int>{0});
        name->setText(QStringLiteral("LV-X9"));
        QVERIFY(e.d->logic().grid().flaggedRows().isEmpty());
        QCOMPARE(e.lineText(), QStringLiteral("没有适用于此厂家或型号的规则，功能码不作检查"));
    }

    void saveWithFlaggedCodes_asksOnce_andCancelKeepsTheDialog() {
        Editor e(QStringLiteral("NEC"), 1);
        child<QLineEdit>(*e.d, "edit1026")->setText(QStringLiteral("P1"));
        typeCode(e.grid, 0, QStringLiteral("02 00 00 00 00 03"));
        auto* ok = child<QPushButton>(*e.d, "button1030");
        QString asked;
        ModalSeam::queueHandler([&asked](QDialog& box) {
            asked = box.objectName();
            return int(QMessageBox::Cancel);
        });
        ok->click();
        QCOMPARE(asked, QStringLiteral("questionCheck"));
        QCOMPARE(
            ModalSeam::seen().filter(QStringLiteral("第 1 行：校验和应为 02（现为 03）")).size(),
            1);
        QVERIFY(e.d->isVisible());
        QCOMPARE(e.d->result(), 0);
        QCOMPARE(e.d->logic().selectedRow(), 1); // back at the flagged code
        QVERIFY(!e.s.editing->loadModel(QStringLiteral("NEC"), QStringLiteral("P1")));

        // "保存", but the catalogue refuses the name: the next "确定" does not ask again.
        ModalSeam::queueAnswer(QMessageBox::Save);
        child<QLineEdit>(*e.d, "edit1026")->setText(QStringLiteral("a1"));
        QVERIFY(
            e.s.editing->addModel(QStringLiteral("NEC"), test::hexModel(QStringLiteral("a1"), 1)));
        ModalSeam::queueAnswer(0); // "该型号已经存在!"
        ok->click();
        QVERIFY(e.d->isVisible());
        const qsizetype seen = ModalSeam::seen().size();
        child<QLineEdit>(*e.d, "edit1026")->setText(QStringLiteral("P1"));
        ok->click();
        QCOMPARE(ModalSeam::seen().size(), seen); // saved without a question
        QCOMPARE(e.d->result(), 1);
        auto stored = e.s.editing->loadModel(QStringLiteral("NEC"), QStringLiteral("P1"));
        QVERIFY(stored);
        QCOMPARE(stored->keys.front().code, QStringLiteral("02 00 00 00 00 03"));
    }

    void testSend_handsTheSelectedRowsBytesWithTheSpeedAndParityShown() {
        std::vector<CodeTrial> trials;
        EditorServices services = checking();
        services.testSend = [&trials](const CodeTrial& t, QWidget* parent) {
            QVERIFY(parent);
            trials.push_back(t);
        };
        Editor e(QStringLiteral("爱普生 Epson"), 2, services);
        auto* send = child<QPushButton>(*e.d, "buttonTestSend");
        QVERIFY(send->isVisible());
        QCOMPARE(send->text(), QStringLiteral("试发"));
        QVERIFY(!send->isEnabled()); // no row selected
        child<QCheckBox>(*e.d, "check1051")->setChecked(true);
        child<QComboBox>(*e.d, "combo1027")->setCurrentText(QStringLiteral("38400"));
        child<QComboBox>(*e.d, "combo1083")->setCurrentIndex(2);
        clickCell(e.grid, 1, KeyGridModel::NameColumn);
        e.grid->cellEditor()->insert(QStringLiteral("查询"));
        typeCode(e.grid, 1, QStringLiteral("PWR?")); // still open when 试发 is clicked
        QVERIFY(send->isEnabled());
        send->click();
        QCOMPARE(trials.size(), std::size_t{1});
        QCOMPARE(trials[0].keyName, QStringLiteral("查询"));
        QCOMPARE(trials[0].code, (link::Bytes{0x50, 0x57, 0x52, 0x3f, 0x0d}));
        QCOMPARE(trials[0].baud, 38400u);
        QCOMPARE(trials[0].parity, 2);

        // Refused before anything is sent: an empty code, a speed that is none.
        clickCell(e.grid, 0, KeyGridModel::CodeColumn);
        ModalSeam::queueAnswer(0);
        send->click();
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("功能码为空，没有发送"));
        clickCell(e.grid, 1, KeyGridModel::CodeColumn);
        child<QComboBox>(*e.d, "combo1027")->setCurrentText(QStringLiteral("abc"));
        ModalSeam::queueAnswer(0);
        send->click();
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("波特率无效"));
        QCOMPARE(trials.size(), std::size_t{1});
        // No row selected: greyed again.
        clickCell(e.grid, 0, KeyGridModel::IdColumn);
        QVERIFY(!send->isEnabled());
    }
};

QTEST_MAIN(TestEditorChecks)
#include "test_editor_checks.moc"

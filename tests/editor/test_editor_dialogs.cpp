// The model editor (dialogs 132 and 133) and the add-company dialog (131)
// driven through their widgets on a scratch catalogue: layout and texts, the
// grid's cell editor and slot drop-downs, saving, and refusals that write
// nothing.

#include "shell/dialogs/modal.h"
#include "shell/editor/companydialog.h"
#include "shell/editor/keygrid.h"
#include "shell/editor/modeleditor.h"
#include "skin/bitmapbutton.h"
#include "skin/units.h"
#include "tests/editor/editor_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
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

QModelIndex cell(KeyGrid* grid, int row, int column) {
    return grid->model()->index(row, column);
}

void clickCell(KeyGrid* grid, int row, int column) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(cell(grid, row, column)).center());
}

// Clicks the cell and types `text` into its cell editor.
void typeIntoCell(KeyGrid* grid, int row, int column, const QString& text) {
    clickCell(grid, row, column);
    QLineEdit* editor = grid->cellEditor();
    QVERIFY(editor);
    editor->selectAll();
    editor->insert(text); // as typed (keyClicks takes Latin-1 only)
}

QString cellText(KeyGrid* grid, int row, int column) {
    return cell(grid, row, column).data(Qt::DisplayRole).toString();
}

void clickPicture(QWidget* w) {
    const QPoint p(w->width() / 2, w->height() / 2);
    const QPointF g(w->mapToGlobal(p));
    QMouseEvent move(QEvent::MouseMove, QPointF(p), g, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(p), g, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(p), g, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
}

} // namespace

class TestEditorDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void addDialog_hasEveryControlWithItsText() {
        Scratch s;
        s.open();
        ModelEditor d(*s.editing, QStringLiteral("A"));
        QCOMPARE(d.objectName(), QStringLiteral("editor132"));
        QCOMPARE(d.windowTitle(), QStringLiteral("添加投影机"));
        QCOMPARE(d.size(), skin::dluSize(ModelEditor::kWidthDlu, ModelEditor::kHeightDlu));
        QVERIFY(child<QLineEdit>(d, "edit1026")->text().isEmpty());
        auto* baud = child<QComboBox>(d, "combo1027");
        QVERIFY(baud->isEditable());
        QCOMPARE(baud->currentText(), QStringLiteral("9600"));
        QCOMPARE(baud->count(), 10);
        QCOMPARE(baud->itemText(0), QStringLiteral("300"));
        QCOMPARE(baud->itemText(9), QStringLiteral("115200"));
        auto* parity = child<QComboBox>(d, "combo1083");
        QVERIFY(!parity->isEditable());
        QCOMPARE(parity->currentIndex(), 0);
        QCOMPARE(parity->itemText(2), QStringLiteral("偶校验"));
        QCOMPARE(child<QCheckBox>(d, "check1051")->text(), QStringLiteral("ASCII码"));
        QVERIFY(!child<QCheckBox>(d, "check1051")->isChecked());
        QCOMPARE(child<QPushButton>(d, "button1029")->text(), QStringLiteral("添加"));
        QCOMPARE(child<QPushButton>(d, "button1059")->text(), QStringLiteral("删除"));
        QVERIFY(!child<QPushButton>(d, "button1059")->isEnabled());
        QCOMPARE(child<QPushButton>(d, "button1030")->text(), QStringLiteral("确定"));
        QCOMPARE(child<QPushButton>(d, "button1058")->text(), QStringLiteral("取消"));
        QCOMPARE(child<QWidget>(d, "labelName")->property("text").toString(),
                 QStringLiteral("投影机型号"));
        QCOMPARE(child<QWidget>(d, "labelBaud")->property("text").toString(),
                 QStringLiteral("波特率"));
        QCOMPARE(child<QWidget>(d, "labelParity")->property("text").toString(),
                 QStringLiteral("校验位"));

        auto* grid = child<KeyGrid>(d, "grid1028");
        QCOMPARE(grid->model()->rowCount(), 0);
        const char* headers[] = {"ID", "功能键", "功能码", "状态", "备注"};
        for (int c = 0; c < KeyGridModel::kColumnCount; ++c) {
            QCOMPARE(grid->columnWidth(c), KeyGridModel::kColumnWidths[c]);
            QCOMPARE(grid->horizontalHeader()->sectionResizeMode(c), QHeaderView::Fixed);
            QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(),
                     QString::fromUtf8(headers[c]));
        }
        QVERIFY(!grid->horizontalHeader()->sectionsMovable());
        QVERIFY(grid->geometry().right() < d.width() - 4); // inside the frame
        QVERIFY(grid->geometry().bottom() < child<QWidget>(d, "button1030")->geometry().top());
    }

    void modifyDialog_usesItsOwnControlNumbers() {
        Scratch s;
        s.open();
        auto record = s.editing->loadModel(QStringLiteral("B"), QStringLiteral("b2"));
        QVERIFY(record);
        ModelEditor d(*s.editing, QStringLiteral("B"), *record);
        QCOMPARE(d.objectName(), QStringLiteral("editor133"));
        QCOMPARE(d.windowTitle(), QStringLiteral("修改投影机"));
        for (const char* name : {"edit1031", "combo1027", "check1072", "combo1082", "grid1033",
                                 "button1070", "button1071", "button1034", "button1036"})
            QVERIFY2(d.findChild<QWidget*>(QString::fromLatin1(name)), name);
        QCOMPARE(child<QLineEdit>(d, "edit1031")->text(), QStringLiteral("b2"));
        auto* grid = child<KeyGrid>(d, "grid1033");
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(cellText(grid, 1, KeyGridModel::CodeColumn), QStringLiteral("a2 01 0d"));
        QCOMPARE(grid->slotBox(1)->currentIndex(), 1);
        QVERIFY(!child<QPushButton>(d, "button1071")->isEnabled());
    }

    void grid_rowsAreLightBlue_andEachRowHasItsSlotBox() {
        Scratch s;
        s.open();
        ModelEditor d(*s.editing, QStringLiteral("A"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto* grid = child<KeyGrid>(d, "grid1028");
        child<QPushButton>(d, "button1029")->click();
        child<QPushButton>(d, "button1029")->click();
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(cellText(grid, 1, KeyGridModel::IdColumn), QStringLiteral("2"));
        QVERIFY(grid->rowHeight(0) >= 18);
        for (int r = 0; r < 2; ++r) {
            auto* box = child<QComboBox>(d, r == 0 ? "combo3032" : "combo3033");
            QCOMPARE(box, grid->slotBox(r));
            QCOMPARE(box->count(), 18);
            QCOMPARE(box->currentText(), QStringLiteral("开机1"));
            QCOMPARE(box->itemText(17), QStringLiteral("静音"));
            QVERIFY(grid->visualRect(cell(grid, r, KeyGridModel::SlotColumn))
                        .contains(box->geometry().center()));
        }
        // A pick in the drop-down is the row's slot.
        grid->slotBox(1)->setCurrentIndex(15);
        QCOMPARE(d.logic().grid().rows()[1].slot, 15);

        const QImage shot = grid->viewport()->grab().toImage();
        const QRect nameCell = grid->visualRect(cell(grid, 1, KeyGridModel::NameColumn));
        QCOMPARE(QColor(shot.pixel(nameCell.center())), KeyGrid::rowColour());

        // The description lies over "备注" from the top of row 0.
        const QRect desc = grid->descriptionBox()->geometry();
        const QRect area = grid->viewport()->geometry();
        QCOMPARE(desc.left(), area.left() + 40 + 90 + 350 + 55 + 1);
        QCOMPARE(desc.top(), area.top());
        QCOMPARE(desc.width(), 120 + 19);
        QCOMPARE(desc.height(), 210);
        QVERIFY(area.contains(desc.topRight()));
    }

    void manyKeys_rowsInViewHaveDropDowns_andEveryRowKeepsItsSlotWhileScrolling() {
        Scratch s;
        s.open();
        QVERIFY(s.db.addModel(1, test::hexModel(QStringLiteral("many"), 60)));
        auto record = s.editing->loadModel(QStringLiteral("A"), QStringLiteral("many"));
        QVERIFY(record);
        ModelEditor d(*s.editing, QStringLiteral("A"), *record);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        KeyGrid* grid = d.grid();
        QVERIFY(grid->slotBox(0));
        QCOMPARE(grid->slotBox(0)->currentIndex(), 0);
        QVERIFY(!grid->slotBox(59));

        grid->scrollToBottom();
        QComboBox* last = grid->slotBox(59);
        QVERIFY(last);
        QCOMPARE(last->objectName(), QStringLiteral("combo%1").arg(3032 + 59));
        QCOMPARE(last->currentIndex(), 59 % 18);
        QVERIFY(grid->visualRect(cell(grid, 59, KeyGridModel::SlotColumn))
                    .contains(last->geometry().center()));
        QVERIFY(!grid->slotBox(0));
        last->setCurrentIndex(17);

        grid->scrollToTop();
        QCOMPARE(grid->slotBox(0)->currentIndex(), 0);
        QCOMPARE(d.logic().grid().rows()[59].slot, 17);
        for (int r = 0; r < 60; ++r)
            QCOMPARE(d.logic().grid().rows()[r].slot, r == 59 ? 17 : r % 18);
    }

    void cellClick_editsInPlace_andTheTextReachesTheCellOnEveryWayOut() {
        Scratch s;
        s.open();
        ModelEditor d(*s.editing, QStringLiteral("A"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto* grid = child<KeyGrid>(d, "grid1028");
        auto* remove = child<QPushButton>(d, "button1059");
        for (int i = 0; i < 3; ++i)
            child<QPushButton>(d, "button1029")->click();

        clickCell(grid, 0, KeyGridModel::NameColumn);
        QLineEdit* editor = grid->cellEditor();
        QVERIFY(editor);
        QCOMPARE(editor->objectName(), QStringLiteral("edit3015"));
        QCOMPARE(editor->geometry(), grid->visualRect(cell(grid, 0, KeyGridModel::NameColumn)));
        QVERIFY(remove->isEnabled());
        editor->insert(QStringLiteral("开机"));
        // A click on "ID" closes it into the cell and selects no row.
        clickCell(grid, 1, KeyGridModel::IdColumn);
        QVERIFY(!grid->cellEditor());
        QCOMPARE(cellText(grid, 0, KeyGridModel::NameColumn), QStringLiteral("开机"));
        QVERIFY(!remove->isEnabled());
        QCOMPARE(d.logic().selectedRow(), 0);

        // Escape and Enter keep the text and leave the dialog open.
        typeIntoCell(grid, 1, KeyGridModel::CodeColumn, QStringLiteral("a0 02"));
        QTest::keyClick(grid->cellEditor(), Qt::Key_Escape);
        QTRY_VERIFY(!grid->cellEditor());
        QCOMPARE(cellText(grid, 1, KeyGridModel::CodeColumn), QStringLiteral("a0 02"));
        typeIntoCell(grid, 2, KeyGridModel::CodeColumn, QStringLiteral("a0 03"));
        QTest::keyClick(grid->cellEditor(), Qt::Key_Return);
        QTRY_VERIFY(!grid->cellEditor());
        QCOMPARE(cellText(grid, 2, KeyGridModel::CodeColumn), QStringLiteral("a0 03"));
        QTest::keyClick(child<QLineEdit>(d, "edit1026"), Qt::Key_Return);
        QTest::keyClick(child<QLineEdit>(d, "edit1026"), Qt::Key_Escape);
        QVERIFY(d.isVisible());
        // The description takes Enter as a new line.
        auto* description = child<QPlainTextEdit>(d, "edit1012");
        QTest::keyClicks(description, QStringLiteral("line 1"));
        QTest::keyClick(description, Qt::Key_Return);
        QTest::keyClicks(description, QStringLiteral("line 2"));
        QCOMPARE(description->toPlainText(), QStringLiteral("line 1\nline 2"));
        QVERIFY(d.isVisible());

        // A button commits an open cell editor before it acts.
        typeIntoCell(grid, 2, KeyGridModel::NameColumn, QStringLiteral("VGA"));
        child<QPushButton>(d, "button1029")->click();
        QCOMPARE(cellText(grid, 2, KeyGridModel::NameColumn), QStringLiteral("VGA"));
        QCOMPARE(grid->model()->rowCount(), 4);
    }

    void deletingRow2Of4_renumbersTheRowsAndEachSlotBoxMovesWithItsRow() {
        Scratch s;
        s.open();
        ModelEditor d(*s.editing, QStringLiteral("A"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto* grid = child<KeyGrid>(d, "grid1028");
        const int slots[] = {3, 7, 12, 17};
        for (int i = 0; i < 4; ++i) {
            child<QPushButton>(d, "button1029")->click();
            grid->slotBox(i)->setCurrentIndex(slots[i]);
            typeIntoCell(grid, i, KeyGridModel::NameColumn, QStringLiteral("n%1").arg(i + 1));
        }
        clickCell(grid, 1, KeyGridModel::CodeColumn);
        QVERIFY(grid->cellEditor());
        child<QPushButton>(d, "button1059")->click();

        QCOMPARE(grid->model()->rowCount(), 3);
        const char* names[] = {"n1", "n3", "n4"};
        const int kept[] = {3, 12, 17};
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(cellText(grid, r, KeyGridModel::IdColumn), QString::number(r + 1));
            QCOMPARE(cellText(grid, r, KeyGridModel::NameColumn), QString::fromLatin1(names[r]));
            auto* box = d.findChild<QComboBox*>(QStringLiteral("combo%1").arg(3032 + r));
            QVERIFY(box);
            QCOMPARE(box, grid->slotBox(r));
            QCOMPARE(box->currentIndex(), kept[r]);
        }
        QVERIFY(!d.findChild<QComboBox*>(QStringLiteral("combo3035")));
        // Row 2 is now the former row 3, still selected for "删除".
        QCOMPARE(d.logic().selectedRow(), 2);
        QVERIFY(child<QPushButton>(d, "button1059")->isEnabled());
        QCOMPARE(grid->selectionModel()->selectedRows().value(0).row(), 1);
    }

    void asciiCodeAT_isSavedAs415430d_andShownAsATInTheModifyDialog() {
        Scratch s;
        s.open();
        int result = -1;
        {
            ModelEditor d(*s.editing, QStringLiteral("A"));
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            child<QLineEdit>(d, "edit1026")->insert(QStringLiteral("AT型"));
            child<QComboBox>(d, "combo1083")->setCurrentIndex(2);
            child<QCheckBox>(d, "check1051")->setChecked(true);
            child<QPushButton>(d, "button1029")->click();
            auto* grid = child<KeyGrid>(d, "grid1028");
            typeIntoCell(grid, 0, KeyGridModel::NameColumn, QStringLiteral("开机"));
            typeIntoCell(grid, 0, KeyGridModel::CodeColumn, QStringLiteral("AT"));
            child<QPushButton>(d, "button1030")->click();
            result = d.isVisible() ? -1 : d.result();
        }
        QCOMPARE(result, 1);
        QCOMPARE(ModalSeam::seen(), QStringList()); // no message
        auto record = s.editing->loadModel(QStringLiteral("A"), QStringLiteral("AT型"));
        QVERIFY(record);
        QCOMPARE(record->keys.size(), std::size_t{1});
        QCOMPARE(record->keys[0].code, QStringLiteral("41 54 0d"));
        QVERIFY(record->keys[0].ascii);
        QCOMPARE(record->keys[0].parity, 2);
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));

        ModelEditor again(*s.editing, QStringLiteral("A"), *record);
        QVERIFY(child<QCheckBox>(again, "check1072")->isChecked());
        QCOMPARE(child<QComboBox>(again, "combo1082")->currentIndex(), 2);
        QCOMPARE(cellText(again.grid(), 0, KeyGridModel::CodeColumn), QStringLiteral("AT"));
        QCOMPARE(cellText(again.grid(), 0, KeyGridModel::NameColumn), QStringLiteral("开机"));
    }

    void refusedValues_writeNothing_andPointAtTheValue() {
        Scratch s;
        s.open();
        ModelEditor d(*s.editing, QStringLiteral("A"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto* name = child<QLineEdit>(d, "edit1026");
        auto* baud = child<QComboBox>(d, "combo1027");
        auto* grid = child<KeyGrid>(d, "grid1028");
        auto* ok = child<QPushButton>(d, "button1030");
        child<QPushButton>(d, "button1029")->click();
        child<QPushButton>(d, "button1029")->click();
        typeIntoCell(grid, 0, KeyGridModel::CodeColumn, QStringLiteral("a0 01"));
        typeIntoCell(grid, 1, KeyGridModel::CodeColumn, QStringLiteral("a0 02"));
        clickCell(grid, 0, KeyGridModel::IdColumn);
        const QString before = test::everything(s.db);
        const QStringList tree = test::describe(*s.browser);
        const auto unchanged = [&] {
            QVERIFY(d.isVisible());
            QCOMPARE(test::everything(s.db), before);
            QCOMPARE(test::describe(*s.browser), tree);
        };

        // An empty name: message dialog 141.
        ModalSeam::queueAnswer(1);
        ok->click();
        QCOMPARE(ModalSeam::seen(), QStringList{QStringLiteral("message141")});
        unchanged();

        // A name the company has.
        name->setText(QStringLiteral("a1"));
        ModalSeam::queueAnswer(0);
        ok->click();
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("该型号已经存在!"));
        QCOMPARE(name->selectedText(), QStringLiteral("a1"));
        unchanged();

        // A speed that is no number.
        name->setText(QStringLiteral("新型号"));
        baud->setEditText(QStringLiteral("abc"));
        ModalSeam::queueAnswer(0);
        ok->click();
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("波特率无效"));
        QCOMPARE(baud->lineEdit()->selectedText(), QStringLiteral("abc"));
        unchanged();
        baud->setEditText(QStringLiteral("9600"));

        // A code longer than the catalogue stores: its cell is selected and edited.
        QString longCode;
        for (int i = 0; i < 90; ++i)
            longCode += QStringLiteral("a5 ");
        typeIntoCell(grid, 1, KeyGridModel::CodeColumn, longCode.trimmed());
        clickCell(grid, 0, KeyGridModel::IdColumn);
        ModalSeam::queueAnswer(0);
        ok->click();
        QVERIFY(ModalSeam::seen().last().contains(QLatin1String("255")));
        QCOMPARE(grid->currentIndex(), cell(grid, 1, KeyGridModel::CodeColumn));
        QVERIFY(grid->cellEditor());
        QCOMPARE(grid->cellEditor()->text(), longCode.trimmed()); // read whole, never cut
        QCOMPARE(d.logic().selectedRow(), 2);
        unchanged();

        // Corrected, the same dialog saves.
        grid->cellEditor()->setText(QStringLiteral("a0 02"));
        ok->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), 1);
        QVERIFY(s.editing->loadModel(QStringLiteral("A"), QStringLiteral("新型号")));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
    }

    void modifyThatFailsHalfway_showsTheErrorAndKeepsTheOldKeys() {
        Scratch s;
        s.open();
        QCOMPARE(test::failKeyInserts(s.file, QStringLiteral("ee")), QString());
        const QString before = test::everything(s.db);
        auto record = s.editing->loadModel(QStringLiteral("C"), QStringLiteral("c2"));
        QVERIFY(record);
        ModelEditor d(*s.editing, QStringLiteral("C"), *record);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        child<QLineEdit>(d, "edit1031")->setText(QStringLiteral("c2 新"));
        child<QPushButton>(d, "button1070")->click();
        typeIntoCell(d.grid(), 2, KeyGridModel::CodeColumn, QStringLiteral("ee"));
        ModalSeam::queueAnswer(0);
        child<QPushButton>(d, "button1034")->click();
        QVERIFY(ModalSeam::seen().last().contains(QLatin1String("key refused")));
        QVERIFY(d.isVisible());
        QCOMPARE(test::everything(s.db), before);
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));

        // "取消" leaves too without writing.
        child<QPushButton>(d, "button1036")->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), 0);
        QCOMPARE(test::everything(s.db), before);
    }

    void companyDialog_refusesBlankAndDuplicateNames_closingAddsNothing() {
        Scratch s;
        s.open();
        const QString before = test::everything(s.db);
        {
            CompanyDialog d(*s.editing);
            QCOMPARE(d.objectName(), QStringLiteral("company131"));
            QCOMPARE(d.windowTitle(), QStringLiteral("添加新公司"));
            QCOMPARE(d.size(), skin::dluSize(CompanyDialog::kWidthDlu, CompanyDialog::kHeightDlu));
            QCOMPARE(child<QWidget>(d, "labelName")->property("text").toString(),
                     QStringLiteral("新公司名称"));
            QCOMPARE(child<QPushButton>(d, "button1025")->text(), QStringLiteral("确定"));
            QVERIFY(!d.findChild<QPushButton*>(QStringLiteral("button2"))); // no cancel button
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            auto* name = child<QLineEdit>(d, "edit1024");
            for (const char* bad : {"", "   ", "B"}) {
                name->setText(QString::fromLatin1(bad));
                ModalSeam::queueAnswer(0);
                child<QPushButton>(d, "button1025")->click();
                QVERIFY(d.isVisible());
            }
            QCOMPARE(ModalSeam::seen(),
                     test::texts({"请填写公司名称！", "请填写公司名称！", "该公司名称已经存在!"}));
            name->setText(QStringLiteral("新公司"));
            clickPicture(d.captionBar()->closeButton());
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), 0);
        }
        QCOMPARE(test::everything(s.db), before);

        CompanyDialog d(*s.editing);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        child<QLineEdit>(d, "edit1024")->insert(QStringLiteral("新公司"));
        QTest::keyClick(child<QLineEdit>(d, "edit1024"), Qt::Key_Return); // "确定" is the default
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), 1);
        QCOMPARE(test::describe(s.db).last(), QStringLiteral("4:新公司[]"));
        QCOMPARE(test::describe(*s.browser), test::describe(s.db));
    }
};

QTEST_MAIN(TestEditorDialogs)
#include "test_editor_dialogs.moc"

#include "shell/editor/modeleditor.h"

#include "shell/dialogs/messagedialog.h"
#include "shell/dialogs/modal.h"
#include "shell/editor/catalogueediting.h"
#include "shell/editor/keygrid.h"
#include "shell/editor/treecommands.h"
#include "skin/units.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <limits>

namespace pj::shell {

namespace {

struct ControlIds {
    int name, ascii, parity, grid, addRow, deleteRow, ok, cancel;
};

constexpr int kBaudId = 1027;
constexpr int kButtonRowDlu = 219; // 添加, 删除, 试发, 确定, 取消
constexpr int kCheckLineDlu = 198; // the line under the grid
constexpr int kQuestionLines = 8;  // flagged codes listed by the save question

ControlIds idsOf(ModelEditor::Mode mode) {
    if (mode == ModelEditor::Mode::Add)
        return {1026, 1051, 1083, 1028, 1029, 1059, 1030, 1058};
    return {1031, 1072, 1082, 1033, 1070, 1071, 1034, 1036};
}

QString titleOf(ModelEditor::Mode mode) {
    return mode == ModelEditor::Mode::Add ? QStringLiteral("添加投影机")
                                          : QStringLiteral("修改投影机");
}

// A one-line control's rectangle: at least as high as the control needs.
QRect fieldRect(QWidget* w, int x, int y, int width, int height) {
    const QRect r = skin::dlu(x, y, width, height);
    return {r.x(), r.y(), r.width(), std::max(r.height(), w->sizeHint().height())};
}

} // namespace

ModelEditor::ModelEditor(Mode mode, CatalogueEditing& editing, const QString& company,
                         QWidget* parent, const EditorServices& services)
    : SkinnedDialog(titleOf(mode), QSize(kWidthDlu, kHeightDlu), parent)
    , mode_(mode)
    , editing_(editing)
    , company_(company)
    , services_(services) {
    setObjectName(QStringLiteral("editor%1").arg(static_cast<int>(mode)));
    logic_.setChecker(services_.checker, company_);
    build();
}

ModelEditor::ModelEditor(CatalogueEditing& editing, const QString& company, QWidget* parent,
                         const EditorServices& services)
    : ModelEditor(Mode::Add, editing, company, parent, services) {
    showValues();
}

ModelEditor::ModelEditor(CatalogueEditing& editing, const QString& company,
                         const catalogue::ModelRecord& record, QWidget* parent,
                         const EditorServices& services)
    : ModelEditor(Mode::Modify, editing, company, parent, services) {
    loaded_ = record;
    logic_.load(record);
    showValues();
}

void ModelEditor::build() {
    const ControlIds ids = idsOf(mode_);
    const auto named = [](QWidget* w, const QString& kind, int id) {
        w->setObjectName(kind + QString::number(id));
    };
    const auto label = [this](const char16_t* text, const char* name, int x, int y, int w) {
        auto* l = new QLabel(QString::fromUtf16(text), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(skin::dlu(x, y, w, 12));
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return l;
    };

    label(u"投影机型号", "labelName", 10, 22, 44);
    name_ = new QLineEdit(this);
    named(name_, QStringLiteral("edit"), ids.name);
    name_->setMaxLength(std::numeric_limits<int>::max()); // read whole, never cut
    name_->setGeometry(fieldRect(name_, 56, 22, 120, 12));

    label(u"波特率", "labelBaud", 188, 22, 26);
    baud_ = new QComboBox(this);
    named(baud_, QStringLiteral("combo"), kBaudId);
    baud_->setEditable(true);
    baud_->setInsertPolicy(QComboBox::NoInsert);
    baud_->addItems(ModelEditorLogic::baudItems());
    baud_->setMaxVisibleItems(static_cast<int>(baud_->count()));
    baud_->setGeometry(fieldRect(baud_, 216, 22, 60, 12));

    label(u"校验位", "labelParity", 290, 22, 26);
    parity_ = new QComboBox(this);
    named(parity_, QStringLiteral("combo"), ids.parity);
    parity_->addItems(ModelEditorLogic::parityItems());
    parity_->setCurrentIndex(0);
    parity_->setGeometry(fieldRect(parity_, 318, 22, 56, 12));

    ascii_ = new QCheckBox(QStringLiteral("ASCII码"), this);
    named(ascii_, QStringLiteral("check"), ids.ascii);
    ascii_->setGeometry(skin::dlu(390, 22, 56, 12));

    grid_ = new KeyGrid(logic_.grid(), this);
    named(grid_, QStringLiteral("grid"), ids.grid);
    const QRect g = skin::dlu(7, 40, 0, 154);
    grid_->setGeometry(g.x(), g.y(), grid_->preferredWidth(), g.height());

    const auto button = [this, &named](const char16_t* text, int id, int x) {
        auto* b = new QPushButton(QString::fromUtf16(text), this);
        named(b, QStringLiteral("button"), id);
        b->setGeometry(skin::dlu(x, kButtonRowDlu, 50, 15));
        b->setAutoDefault(false);
        return b;
    };
    // The buttons on the right end where the grid ends.
    const int gridRightDlu = (g.x() + grid_->preferredWidth()) * 4 / 6;
    addRow_ = button(u"添加", ids.addRow, 10);
    deleteRow_ = button(u"删除", ids.deleteRow, 66);
    ok_ = button(u"确定", ids.ok, gridRightDlu - 108);
    cancel_ = button(u"取消", ids.cancel, gridRightDlu - 52);
    deleteRow_->setEnabled(false);
    buildCheckLine(gridRightDlu);

    connect(grid_, &KeyGrid::cellClicked, this, &ModelEditor::onCellClicked);
    connect(addRow_, &QPushButton::clicked, this, &ModelEditor::onAddRow);
    connect(deleteRow_, &QPushButton::clicked, this, &ModelEditor::onDeleteRow);
    connect(ok_, &QPushButton::clicked, this, &ModelEditor::onOk);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        grid_->commitCell();
        done(0);
    });
}

ModelEditor::~ModelEditor() {
    grid_->commitCell();
}

void ModelEditor::buildCheckLine(int gridRightDlu) {
    testSend_ = new QPushButton(QStringLiteral("试发"), this);
    testSend_->setObjectName(QStringLiteral("buttonTestSend"));
    testSend_->setGeometry(skin::dlu(122, kButtonRowDlu, 50, 15));
    testSend_->setAutoDefault(false);
    testSend_->setToolTip(QStringLiteral("把选中行的功能码直接发给投影机，看它的应答"));
    testSend_->setEnabled(false);
    testSend_->setVisible(static_cast<bool>(services_.testSend));

    checkLine_ = new QLabel(this);
    checkLine_->setObjectName(QStringLiteral("labelCheck"));
    checkLine_->setGeometry(skin::dlu(10, kCheckLineDlu, gridRightDlu - 70, 14));
    checkLine_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fix_ = new QPushButton(QStringLiteral("改正"), this);
    fix_->setObjectName(QStringLiteral("buttonFix"));
    fix_->setGeometry(skin::dlu(gridRightDlu - 52, kCheckLineDlu, 50, 14));
    fix_->setAutoDefault(false);
    fix_->setEnabled(false);
    const bool checking = static_cast<bool>(services_.checker);
    checkLine_->setVisible(checking);
    fix_->setVisible(checking);

    connect(fix_, &QPushButton::clicked, this, &ModelEditor::onFix);
    connect(testSend_, &QPushButton::clicked, this, &ModelEditor::onTestSend);
    // The rules follow the model's name (some apply to single models) and
    // the switch (an ASCII code ends in 0d): every code is judged again.
    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
        logic_.name = text;
        logic_.recheckCodes();
        updateCheckLine();
    });
    connect(ascii_, &QCheckBox::toggled, this, [this](bool on) {
        logic_.ascii = on;
        logic_.recheckCodes();
        updateCheckLine();
    });
    connect(&logic_.grid(), &KeyGridModel::codeProblemsChanged, this,
            &ModelEditor::updateCheckLine);
    connect(grid_, &KeyGrid::cellTextEdited, this, [this](int, int column, const QString&) {
        if (column == KeyGridModel::CodeColumn)
            updateCheckLine();
    });
}

void ModelEditor::showValues() {
    name_->setText(logic_.name);
    name_->setCursorPosition(0); // a long name shows its beginning
    const int listed = baud_->findText(logic_.baudText, Qt::MatchExactly);
    if (listed >= 0)
        baud_->setCurrentIndex(listed);
    else
        baud_->setEditText(logic_.baudText);
    parity_->setCurrentIndex(logic_.parity);
    ascii_->setChecked(logic_.ascii);
    grid_->descriptionBox()->setPlainText(logic_.description);
    selectRow(0);
}

void ModelEditor::readValues() {
    logic_.name = name_->text();
    logic_.baudText = baud_->currentText();
    logic_.parity = std::max(0, parity_->currentIndex());
    logic_.ascii = ascii_->isChecked();
    logic_.description = grid_->descriptionBox()->toPlainText();
}

int ModelEditor::runAdd(CatalogueEditing& editing, const QString& company, QWidget* parent,
                        const EditorServices& services) {
    ModelEditor d(editing, company, parent, services);
    return runModal(d);
}

int ModelEditor::runModify(CatalogueEditing& editing, const QString& company,
                           const catalogue::ModelRecord& record, QWidget* parent,
                           const EditorServices& services) {
    ModelEditor d(editing, company, record, parent, services);
    return runModal(d);
}

void ModelEditor::keyPressEvent(QKeyEvent* e) {
    // Enter and Escape reach the dialog from its one-line fields: they close
    // the cell editor and neither save nor throw away what was typed.
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        grid_->commitCell();
        e->accept();
        return;
    default:
        SkinnedDialog::keyPressEvent(e);
    }
}

void ModelEditor::onCellClicked(int row, int column) {
    if (logic_.clickCell(row, column)) {
        selectRow(logic_.selectedRow());
        grid_->editCell(row, column);
        updateCheckLine();
    } else {
        selectRow(0);
    }
}

void ModelEditor::selectRow(int row) {
    if (row >= 1 && row <= grid_->model()->rowCount())
        grid_->selectRow(row - 1);
    else
        grid_->clearSelection();
    deleteRow_->setEnabled(logic_.canDeleteRow());
    testSend_->setEnabled(logic_.canDeleteRow());
    updateCheckLine();
}

void ModelEditor::onAddRow() {
    grid_->commitCell();
    logic_.addRow();
    grid_->scrollToBottom();
    selectRow(logic_.selectedRow());
}

void ModelEditor::onDeleteRow() {
    grid_->commitCell();
    logic_.deleteSelectedRow();
    selectRow(logic_.selectedRow());
}

void ModelEditor::onOk() {
    grid_->commitCell();
    readValues();
    if (const auto problem = logic_.check()) {
        point(*problem);
        return;
    }
    if (logic_.saveNeedsQuestion()) {
        if (!askSaveFlagged()) {
            // Back to the first flagged code.
            const int row = logic_.grid().flaggedRows().value(0, -1);
            logic_.clickCell(row, KeyGridModel::CodeColumn);
            selectRow(logic_.selectedRow());
            grid_->scrollTo(grid_->model()->index(row, KeyGridModel::CodeColumn));
            return;
        }
        logic_.allowFlaggedCodes();
    }
    const catalogue::ModelInput input = logic_.input();
    catalogue::Status saved;
    if (mode_ == Mode::Add) {
        auto id = editing_.addModel(company_, input);
        if (!id)
            saved = id.error();
    } else {
        saved = editing_.modifyModel(company_, loaded_, input);
    }
    if (!saved) {
        showEditError(this, saved.error());
        // Someone else deleted, renamed or changed the model (or deleted the
        // company) since it was read: nothing was written and the tree has
        // been read again; saving these values again would meet the same
        // refusal, so the dialog closes.
        if (saved.error().code == catalogue::ErrorCode::Conflict) {
            done(0);
            return;
        }
        if (saved.error().code == catalogue::ErrorCode::ModelExists) {
            name_->setFocus();
            name_->selectAll();
        }
        return;
    }
    done(1);
}

void ModelEditor::point(const ModelEditorLogic::Problem& problem) {
    using Field = ModelEditorLogic::Field;
    switch (problem.field) {
    case Field::Name:
        if (problem.nameMissing)
            MessageDialog::run(MessageDialog::ModelNameMissing, this);
        else
            showMessage(this, problem.message);
        name_->setFocus();
        name_->selectAll();
        return;
    case Field::Baud:
        showMessage(this, problem.message);
        baud_->setFocus();
        baud_->lineEdit()->selectAll();
        return;
    case Field::Description:
        showMessage(this, problem.message);
        grid_->descriptionBox()->setFocus();
        return;
    case Field::KeyName:
    case Field::KeyCode:
    case Field::KeySlot: {
        const int column = problem.field == Field::KeyName   ? KeyGridModel::NameColumn
                           : problem.field == Field::KeyCode ? KeyGridModel::CodeColumn
                                                             : KeyGridModel::SlotColumn;
        logic_.clickCell(problem.row, KeyGridModel::NameColumn);
        selectRow(logic_.selectedRow());
        const QModelIndex cell = grid_->model()->index(problem.row, column);
        grid_->setCurrentIndex(cell);
        grid_->scrollTo(cell);
        showMessage(this, problem.message);
        if (column == KeyGridModel::SlotColumn)
            grid_->slotBox(problem.row)->setFocus();
        else
            grid_->editCell(problem.row, column);
        return;
    }
    case Field::Model:
        showMessage(this, problem.message);
        return;
    }
}

void ModelEditor::updateCheckLine() {
    if (!checkLine_ || !services_.checker)
        return;
    const KeyGridModel& rows = logic_.grid();
    // The code being typed, judged as it stands in the cell editor.
    const QModelIndex editing = grid_->editingCell();
    QLineEdit* editor = grid_->cellEditor();
    const int typedRow =
        editor && editing.column() == KeyGridModel::CodeColumn ? editing.row() : -1;
    std::optional<codecheck::CodeReport> typed;
    if (typedRow >= 0) {
        typed = logic_.checkCode(editor->text());
        const QString why =
            typed && !typed->ok() ? ModelEditorLogic::problemText(*typed) : QString();
        QPalette palette = grid_->palette();
        if (!why.isEmpty())
            palette.setColor(QPalette::Base, KeyGrid::flaggedColour());
        editor->setPalette(palette);
        editor->setToolTip(why);
    }

    // Which row the line tells of: the code being typed, else the selected
    // row, else the first flagged row.
    QList<int> flagged = rows.flaggedRows();
    flagged.removeAll(typedRow); // its cell holds the text from before the edit
    int row = -1;
    std::optional<codecheck::CodeReport> report;
    if (typed && !typed->ok()) {
        row = typedRow;
        report = typed;
    } else {
        const int selected = logic_.selectedRow() - 1;
        row = flagged.contains(selected) ? selected : flagged.value(0, -1);
        if (row >= 0)
            report = logic_.checkCode(rows.rows()[row].code);
    }
    const int count = static_cast<int>(flagged.size()) + (row == typedRow && row >= 0 ? 1 : 0);

    QString line;
    fixRow_ = -1;
    if (report && !report->ok()) {
        line =
            QStringLiteral("第 %1 行：%2").arg(row + 1).arg(ModelEditorLogic::problemText(*report));
        if (const QString fix = logic_.fixText(*report); !fix.isEmpty()) {
            // "可改为 02 00 …", or "可改为（关闭 ASCII码）28 50 …"
            line += QStringLiteral("，可改为") +
                    (fix.startsWith(QChar(u'（')) ? QString() : QStringLiteral(" ")) + fix;
            fixRow_ = row;
        }
        if (count > 1)
            line += QStringLiteral("（共 %1 个功能码不符合厂家的规则）").arg(count);
    } else if (!logic_.codesChecked()) {
        line = QStringLiteral("没有适用于此厂家或型号的规则，功能码不作检查");
    } else if (rows.rowCount() > 0) {
        line = QStringLiteral("功能码符合 %1 的规则").arg(logic_.maker());
    }
    checkLine_->setToolTip(line);
    checkLine_->setText(
        checkLine_->fontMetrics().elidedText(line, Qt::ElideRight, checkLine_->width()));
    fix_->setEnabled(fixRow_ >= 0);
}

void ModelEditor::onFix() {
    const int row = fixRow_;
    grid_->commitCell();
    readValues();
    if (row < 0)
        return;
    if (const auto refused = logic_.applyFix(row)) {
        showMessage(this, *refused);
        return;
    }
    {
        // The switch may have changed with the correction; the logic has it.
        const QSignalBlocker quiet(ascii_);
        ascii_->setChecked(logic_.ascii);
    }
    logic_.clickCell(row, KeyGridModel::CodeColumn);
    selectRow(logic_.selectedRow());
}

void ModelEditor::onTestSend() {
    grid_->commitCell();
    readValues();
    const int row = logic_.selectedRow() - 1;
    if (!services_.testSend || row < 0)
        return;
    QString why;
    const auto code = logic_.codeBytes(row, &why);
    if (!code) {
        showMessage(this, why);
        return;
    }
    const auto baud = ModelEditorLogic::parseBaud(logic_.baudText);
    if (!baud) {
        showMessage(this, ModelEditorLogic::badBaudText());
        baud_->setFocus();
        baud_->lineEdit()->selectAll();
        return;
    }
    services_.testSend(CodeTrial{logic_.grid().rows()[row].name, *code, *baud, logic_.parity},
                       this);
}

bool ModelEditor::askSaveFlagged() {
    QStringList lines = logic_.flaggedLines();
    const auto total = lines.size();
    if (total > kQuestionLines) {
        lines = lines.mid(0, kQuestionLines);
        lines << QStringLiteral("……（共 %1 个）").arg(total);
    }
    const QString question =
        QStringLiteral("以下功能码不符合厂家的规则：\n%1\n\n"
                       "确认这些功能码对该型号无误时，可以照样保存。是否保存？")
            .arg(lines.join(QLatin1Char('\n')));
    QMessageBox box(QMessageBox::Question, QString(), question,
                    QMessageBox::Save | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("questionCheck"));
    box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    ModalSeam::record(question);
    return runModal(box) == QMessageBox::Save;
}

} // namespace pj::shell

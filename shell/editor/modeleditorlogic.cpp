#include "shell/editor/modeleditorlogic.h"

#include "catalogue/checks.h"
#include "catalogue/functionkeys.h"
#include "link/codetext.h"
#include "link/testsend.h"

#include <limits>

namespace pj::shell {

namespace {

using catalogue::CatalogueDb;
using catalogue::ModelInput;

// The characters an ASCII key's stored code stands for, when they give the
// same code back once saved; nullopt otherwise.
std::optional<QString> asciiText(const QString& stored) {
    std::string text;
    pj::link::codeTextToAscii(stored.toStdString(), text);
    const QString shown = QString::fromStdString(text);
    auto again = CatalogueDb::storedCodeText(shown, true, false);
    if (!again)
        return std::nullopt;
    if (pj::link::codeTextToBytes(again->toStdString()) !=
        pj::link::codeTextToBytes(stored.toStdString()))
        return std::nullopt;
    return shown;
}

} // namespace

QStringList ModelEditorLogic::baudItems() {
    QStringList items;
    for (int baud = 300; baud <= 38400; baud *= 2)
        items << QString::number(baud);
    items << QStringLiteral("57600") << QStringLiteral("115200");
    return items;
}

QStringList ModelEditorLogic::parityItems() {
    return {QStringLiteral("无校验"), QStringLiteral("奇校验"), QStringLiteral("偶校验")};
}

std::optional<std::uint32_t> ModelEditorLogic::parseBaud(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    bool ok = false;
    const qulonglong value = t.toULongLong(&ok);
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    if (!ok) // more digits than 64 bits hold
        return kMax;
    if (value == 0)
        return std::nullopt;
    return value > kMax ? kMax : static_cast<std::uint32_t>(value);
}

void ModelEditorLogic::load(const catalogue::ModelRecord& record) {
    name = record.name;
    baudText = QString::number(record.baud);
    description = record.description;
    parity = record.keys.empty() ? 0 : record.parity;
    if (parity < 0 || parity > 2)
        parity = 0;

    bool showAscii = !record.keys.empty() && record.ascii;
    QList<KeyRow> rows;
    for (const auto& key : record.keys) {
        KeyRow row{key.function, key.code, key.slot};
        if (showAscii) {
            const auto text = key.ascii ? asciiText(key.code) : std::nullopt;
            if (text)
                row.code = *text;
            else
                showAscii = false;
        }
        rows.append(row);
    }
    asciiShownAsHex_ = record.ascii && !record.keys.empty() && !showAscii;
    if (asciiShownAsHex_) {
        for (qsizetype i = 0; i < rows.size(); ++i)
            rows[i].code = record.keys[static_cast<std::size_t>(i)].code;
    }
    ascii = showAscii;
    grid_.setRows(std::move(rows));
    selectedRow_ = 0;
}

bool ModelEditorLogic::clickCell(int row, int column) {
    const bool editable =
        row >= 0 && row < grid_.rowCount() &&
        (column == KeyGridModel::NameColumn || column == KeyGridModel::CodeColumn);
    selectedRow_ = editable ? row + 1 : 0;
    return editable;
}

void ModelEditorLogic::addRow() {
    grid_.appendRow();
}

bool ModelEditorLogic::deleteSelectedRow() {
    if (!canDeleteRow())
        return false;
    return grid_.removeRowAt(selectedRow_ - 1);
}

std::optional<ModelEditorLogic::Problem> ModelEditorLogic::check() const {
    if (name.trimmed().isEmpty())
        return Problem{Field::Name, -1, catalogue::text::kEmptyModelName, true};
    const auto baud = catalogue::parseBaudText(baudText);
    if (!baud)
        return Problem{Field::Baud, -1, baud.error().message};
    ModelInput m = input();
    m.baud = *baud;
    const std::optional<catalogue::InputFault> fault = catalogue::findInputFault(m);
    if (!fault)
        return std::nullopt;
    using In = catalogue::InputField;
    switch (fault->field) {
    case In::ModelName:
        return Problem{Field::Name, -1, fault->error.message};
    case In::Baud:
        return Problem{Field::Baud, -1, fault->error.message};
    case In::Description:
        return Problem{Field::Description, -1, fault->error.message};
    case In::KeyName:
        return Problem{Field::KeyName, fault->keyRow, fault->error.message};
    case In::KeySlot:
        return Problem{Field::KeySlot, fault->keyRow, fault->error.message};
    case In::KeyCode:
        return Problem{Field::KeyCode, fault->keyRow, fault->error.message};
    case In::Parity:
        break;
    }
    return Problem{Field::Model, -1, fault->error.message};
}

catalogue::ModelInput ModelEditorLogic::input() const {
    ModelInput m;
    m.name = name.trimmed();
    m.baud = parseBaud(baudText).value_or(0);
    m.parity = parity;
    m.ascii = ascii;
    m.codesStored = false;
    m.description = description;
    for (const KeyRow& row : grid_.rows())
        m.keys.push_back({row.name, row.slot, row.code});
    return m;
}

void ModelEditorLogic::setChecker(std::shared_ptr<const codecheck::Checker> checker,
                                  const QString& company) {
    checker_ = std::move(checker);
    company_ = company.toStdString();
    if (checker_)
        grid_.setCodeCheck([this](const QString& code) { return problemOf(code); });
    else
        grid_.setCodeCheck({});
}

bool ModelEditorLogic::codesChecked() const {
    return checker_ &&
           !checker_->rulesFor(checker_->makerOf(company_), name.trimmed().toStdString()).empty();
}

QString ModelEditorLogic::maker() const {
    return checker_ ? QString::fromStdString(checker_->makerOf(company_)) : QString();
}

std::optional<codecheck::CodeReport> ModelEditorLogic::checkCode(const QString& code) const {
    if (!checker_ || code.trimmed().isEmpty())
        return std::nullopt;
    return checker_->check(company_, name.trimmed().toStdString(), {code.toStdString(), ascii});
}

QString ModelEditorLogic::problemText(const codecheck::CodeReport& report) {
    QStringList messages;
    for (const auto& f : report.findings)
        messages << QString::fromStdString(f.message);
    return messages.join(QStringLiteral("；"));
}

QString ModelEditorLogic::fixText(const codecheck::CodeReport& report) const {
    if (!report.fix)
        return {};
    const QString text = QString::fromStdString(report.fix->text);
    if (report.fix->ascii == ascii)
        return text;
    return (report.fix->ascii ? QStringLiteral("（打开 ASCII码）")
                              : QStringLiteral("（关闭 ASCII码）")) +
           text;
}

QString ModelEditorLogic::problemOf(const QString& code) const {
    const auto report = checkCode(code);
    if (!report || report->ok())
        return {};
    return problemText(*report);
}

std::optional<QString> ModelEditorLogic::applyFix(int row) {
    if (row < 0 || row >= grid_.rowCount())
        return QStringLiteral("请先选择一行");
    const auto report = checkCode(grid_.rows()[row].code);
    if (!report || !report->fix)
        return QStringLiteral("这个功能码没有可用的改正");
    const QString fixed = QString::fromStdString(report->fix->text);
    if (report->fix->ascii == ascii) {
        grid_.setData(grid_.index(row, KeyGridModel::CodeColumn), fixed, Qt::EditRole);
        return std::nullopt;
    }
    // The switch holds for every code: the others are shown in the new form
    // with the same bytes before it changes.
    QList<KeyRow> rows = grid_.rows();
    for (int i = 0; i < rows.size(); ++i) {
        if (i == row || rows[i].code.trimmed().isEmpty())
            continue;
        std::optional<QString> shown;
        if (ascii) {
            if (auto hex = CatalogueDb::storedCodeText(rows[i].code, true, false))
                shown = *hex;
        } else {
            shown = asciiText(rows[i].code);
        }
        if (!shown)
            return QStringLiteral("第 %1 行的功能码不能改成%2的形式，请先改正该行")
                .arg(i + 1)
                .arg(ascii ? QStringLiteral("十六进制") : QStringLiteral("ASCII码"));
        rows[i].code = *shown;
    }
    rows[row].code = fixed;
    ascii = report->fix->ascii;
    grid_.setRows(std::move(rows));
    return std::nullopt;
}

std::optional<link::Bytes> ModelEditorLogic::codeBytes(int row, QString* why) const {
    const auto refuse = [why](const QString& text) -> std::optional<link::Bytes> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    if (row < 0 || row >= grid_.rowCount())
        return refuse(QStringLiteral("请先选择一行"));
    const QString& code = grid_.rows()[row].code;
    if (code.trimmed().isEmpty())
        return refuse(QString::fromUtf8(link::msg::kEmptyCode));
    const auto stored = CatalogueDb::storedCodeText(code, ascii, false);
    if (!stored)
        return refuse(stored.error().message);
    auto bytes = link::parseCodeTextStrict(stored->toStdString());
    if (!bytes || bytes->empty())
        return refuse(QString::fromUtf8(link::msg::kEmptyCode));
    return bytes;
}

namespace {

QString allowKey(bool ascii, const QString& code) {
    return (ascii ? QStringLiteral("1:") : QStringLiteral("0:")) + code.trimmed();
}

} // namespace

QStringList ModelEditorLogic::flaggedLines() const {
    QStringList out;
    for (int r : grid_.flaggedRows()) {
        const QString key = grid_.rows()[r].name.trimmed();
        out << QStringLiteral("第 %1 行%2：%3")
                   .arg(r + 1)
                   .arg(key.isEmpty() ? QString() : QStringLiteral(" ") + key,
                        grid_.codeProblem(r));
    }
    return out;
}

bool ModelEditorLogic::saveNeedsQuestion() const {
    for (int r : grid_.flaggedRows())
        if (!allowed_.contains(allowKey(ascii, grid_.rows()[r].code)))
            return true;
    return false;
}

void ModelEditorLogic::allowFlaggedCodes() {
    for (int r : grid_.flaggedRows()) {
        const QString key = allowKey(ascii, grid_.rows()[r].code);
        if (!allowed_.contains(key))
            allowed_ << key;
    }
}

} // namespace pj::shell

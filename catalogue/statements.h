#pragma once
// Internal: every SQL text the catalogue code issues, written once in the
// Access dialect the catalogue has always been queried in ('%s' for a text
// value, %d for a number), and its adaptation to the engine at hand: values
// become bound parameters, "Delete * From" a plain delete, and the reserved
// column names FUNCTION and CHECK are quoted the engine's way.

#include <QString>

#include <array>
#include <functional>

namespace pj::catalogue::detail {

enum class Stmt {
    TreeCompanies,
    TreeModels,
    CompanyIdByName,
    CompanyById,
    ModelIdByName,
    ModelById,
    ModelsOfCompany,
    KeysOfModel,
    DuplicateModel,
    MaxModelId,
    InsertModel,
    InsertKey,
    UpdateModel,
    DeleteKeysOfModel,
    DuplicateCompany,
    MaxCompanyId,
    InsertCompany,
    DeleteModel,
    RenumberModels,
    RenumberKeys,
    DeleteKeysOfCompany,
    DeleteModelsOfCompany,
    ShiftModelRange,
    ShiftModelTail,
    ShiftKeyRange,
    ShiftKeyTail,
    DeleteCompany,
    RenumberCids,
    RenumberCompanies,
    CheckKeys,
    CheckModels,
    KeyRowStats,
    ProbeCop,
    ProbeMachine,
    ProbeFunkey,
    AllModels,
    AllKeys,
    Count_
};

struct StatementText {
    Stmt id;
    const char* text; // Access dialect, UTF-8
};

// The catalogue, in the order of the enum.
const std::array<StatementText, static_cast<std::size_t>(Stmt::Count_)>& statementCatalogue();

// Adapts one text: '%s' and %d become '?', "Delete * From" becomes
// "Delete From", FUNCTION and CHECK (whole words) go through quoteIdentifier.
// With `textPrefix` (an SQL expression such as "'.' || "), every text column
// of a select list (COP, MODEL, DESCRIPT, FUNCTION, FUNCODE) is read as
// prefix plus column, so that the value never starts with what a driver
// might take for a byte-order mark; the reader drops the first character.
// With `valuesAsText`, the stored values BAUD, TYPE, ISASCII and CHECK of a
// select list are read as text, for drivers that would otherwise cut them to
// the 32-bit integer their column declares.
QString adaptStatement(const char* accessText,
                       const std::function<QString(const QString&)>& quoteIdentifier,
                       const QString& textPrefix = QString(), bool valuesAsText = false);

// The text columns of the catalogue.
bool isTextColumn(const QString& column);

} // namespace pj::catalogue::detail

#include "catalogue/statements.h"

#include <QRegularExpression>

namespace pj::catalogue::detail {

const std::array<StatementText, static_cast<std::size_t>(Stmt::Count_)>& statementCatalogue() {
    // Reads carry an ORDER BY so that lists come out the same on every engine;
    // the key rows of a model come in the order they were saved.
    static const std::array<StatementText, static_cast<std::size_t>(Stmt::Count_)> k{{
        {Stmt::TreeCompanies, "Select ID,COP From COP Order By ID"},
        {Stmt::TreeModels, "Select ID,MODEL,CID From MACHINE Order By ID"},
        {Stmt::CompanyIdByName, "Select ID From COP Where COP='%s' Order By ID"},
        {Stmt::CompanyById, "Select ID,COP From COP Where ID=%d"},
        {Stmt::ModelIdByName, "Select ID From MACHINE Where MODEL='%s' And CID=%d Order By ID"},
        {Stmt::ModelById, "Select MODEL,BAUD,DESCRIPT,CID From MACHINE Where ID=%d"},
        {Stmt::ModelsOfCompany, "Select ID,MODEL,CID From MACHINE Where CID=%d Order By ID"},
        {Stmt::KeysOfModel,
         "Select ID,FUNCTION,FUNCODE,TYPE,ISASCII,CHECK From FUNKEY Where MID=%d Order By ID"},
        {Stmt::DuplicateModel, "Select ID,MODEL,CID From Machine Where MODEL='%s' And CID=%d"},
        {Stmt::MaxModelId, "Select MAX(ID) From MACHINE"},
        {Stmt::InsertModel,
         "Insert Into MACHINE(ID,MODEL,CID,BAUD,DESCRIPT) Values(%d,'%s',%d,%d,'%s')"},
        {Stmt::InsertKey, "Insert Into FUNKEY(FUNCTION,FUNCODE,MID,TYPE,ISASCII,CHECK) "
                          "Values('%s','%s',%d,%d,%d,%d)"},
        {Stmt::UpdateModel, "Update MACHINE Set MODEL='%s',BAUD=%d,DESCRIPT='%s' Where ID=%d"},
        {Stmt::DeleteKeysOfModel, "Delete * From FUNKEY Where MID=%d"},
        {Stmt::DuplicateCompany, "Select ID,COP From COP Where COP='%s'"},
        {Stmt::MaxCompanyId, "Select MAX(ID) From COP"},
        {Stmt::InsertCompany, "Insert Into COP(ID,COP) Values(%d,'%s')"},
        {Stmt::DeleteModel, "Delete * From MACHINE Where ID=%d"},
        {Stmt::RenumberModels, "Update MACHINE Set ID=ID-1 Where ID>%d"},
        {Stmt::RenumberKeys, "Update FUNKEY Set MID=MID-1 Where MID>%d"},
        // A company delete removes all its models at once and then moves each
        // run of surviving IDs between two removed ones down by the number of
        // removed IDs below it: every row is renumbered once, whatever the
        // number of models removed.
        {Stmt::DeleteKeysOfCompany,
         "Delete * From FUNKEY Where MID In (Select ID From MACHINE Where CID=%d)"},
        {Stmt::DeleteModelsOfCompany, "Delete * From MACHINE Where CID=%d"},
        {Stmt::ShiftModelRange, "Update MACHINE Set ID=ID-%d Where ID>%d And ID<%d"},
        {Stmt::ShiftModelTail, "Update MACHINE Set ID=ID-%d Where ID>%d"},
        {Stmt::ShiftKeyRange, "Update FUNKEY Set MID=MID-%d Where MID>%d And MID<%d"},
        {Stmt::ShiftKeyTail, "Update FUNKEY Set MID=MID-%d Where MID>%d"},
        {Stmt::DeleteCompany, "Delete * From COP Where ID=%d"},
        {Stmt::RenumberCids, "Update MACHINE Set CID=CID-1 Where CID>%d"},
        {Stmt::RenumberCompanies, "Update COP Set ID=ID-1 Where ID>%d"},
        {Stmt::CheckKeys, "Select ID,MID,TYPE,ISASCII,CHECK From FUNKEY Order By MID,ID"},
        {Stmt::CheckModels, "Select ID,MODEL,CID,BAUD From MACHINE Order By ID"},
        {Stmt::KeyRowStats, "Select COUNT(*),MAX(ID) From FUNKEY"},
        {Stmt::ProbeCop, "Select ID,COP From COP Where 1=0"},
        {Stmt::ProbeMachine, "Select ID,MODEL,CID,BAUD,DESCRIPT From MACHINE Where 1=0"},
        {Stmt::ProbeFunkey,
         "Select ID,FUNCTION,FUNCODE,MID,TYPE,ISASCII,CHECK From FUNKEY Where 1=0"},
        // Every model whole in two passes, for readers of the whole catalogue.
        {Stmt::AllModels, "Select ID,MODEL,BAUD,DESCRIPT,CID From MACHINE Order By ID"},
        {Stmt::AllKeys,
         "Select ID,FUNCTION,FUNCODE,TYPE,ISASCII,CHECK,MID From FUNKEY Order By MID,ID"},
    }};
    return k;
}

bool isTextColumn(const QString& column) {
    static const QStringList k = {QStringLiteral("COP"), QStringLiteral("MODEL"),
                                  QStringLiteral("DESCRIPT"), QStringLiteral("FUNCTION"),
                                  QStringLiteral("FUNCODE")};
    return k.contains(column, Qt::CaseInsensitive);
}

namespace {

bool isValueColumn(const QString& column) {
    static const QStringList k = {QStringLiteral("BAUD"), QStringLiteral("TYPE"),
                                  QStringLiteral("ISASCII"), QStringLiteral("CHECK")};
    return k.contains(column, Qt::CaseInsensitive);
}

// "Select A,B From" with the text columns among A, B prefixed and the value
// columns read as text.
QString adaptSelectList(const QString& s, const QString& prefix, bool valuesAsText) {
    static const QRegularExpression list(QStringLiteral("^Select (.*?) From "),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = list.match(s);
    if (!m.hasMatch())
        return s;
    QStringList columns = m.captured(1).split(QLatin1Char(','));
    for (QString& c : columns) {
        if (!prefix.isEmpty() && isTextColumn(c))
            c = QStringLiteral("(%1%2)").arg(prefix, c);
        else if (valuesAsText && isValueColumn(c))
            c = QStringLiteral("CAST(%1 AS TEXT)").arg(c);
    }
    return s.left(m.capturedStart(1)) + columns.join(QLatin1Char(',')) + s.mid(m.capturedEnd(1));
}

} // namespace

QString adaptStatement(const char* accessText,
                       const std::function<QString(const QString&)>& quoteIdentifier,
                       const QString& textPrefix, bool valuesAsText) {
    QString s = QString::fromUtf8(accessText);
    if (!textPrefix.isEmpty() || valuesAsText)
        s = adaptSelectList(s, textPrefix, valuesAsText);
    static const QRegularExpression deleteStar(QStringLiteral("\\bDelete \\* From\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    s.replace(deleteStar, QStringLiteral("Delete From"));
    s.replace(QStringLiteral("'%s'"), QStringLiteral("?"));
    s.replace(QStringLiteral("%d"), QStringLiteral("?"));
    static const QRegularExpression reserved(QStringLiteral("\\b(FUNCTION|CHECK)\\b"));
    QString out;
    qsizetype last = 0;
    auto it = reserved.globalMatch(s);
    while (it.hasNext()) {
        const auto m = it.next();
        out += s.mid(last, m.capturedStart() - last);
        out += quoteIdentifier(m.captured(1));
        last = m.capturedEnd();
    }
    out += s.mid(last);
    return out;
}

} // namespace pj::catalogue::detail

#pragma once
// Internal to pj_catalogue: the connection behind a CatalogueDb and the helpers
// every part of the catalogue code shares. Each part keeps its operation
// bodies in its own file:
//   connection.cpp  connecting, statements, transactions
//   schema.cpp      creating an empty catalogue
//   reads.cpp       tree, look-ups, a model, export
//   edits.cpp       adding companies and models, modifying models, import
//   deletes.cpp     deleting models and companies with the dense renumbering
//   check.cpp       the invariant check

#include "catalogue/cataloguedb.h"
#include "catalogue/statements.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <array>
#include <initializer_list>
#include <optional>

namespace pj::catalogue::detail {

// A unique name for one QSqlDatabase connection.
QString newConnectionName();

Error notFound();
bool isBusyError(const QSqlError& e);
Error busyError();
Error dbError(const QSqlError& e);
Engine engineOfConnectionString(const QString& s);
// The engine behind an open ODBC connection: from the connection string when
// it names one, otherwise asked of the server.
Engine detectOdbcEngine(QSqlDatabase& db, const QString& connectionString);

// Whole numbers as stored: nullopt for NULL, text that is no number, or a
// value that is not whole; never wrapped or cut.
std::optional<qint64> storedInteger(const QVariant& v);

// An ID column as an int; NULL reads as 0.
inline int toId(const QVariant& v) {
    return v.isNull() ? 0 : v.toInt();
}

} // namespace pj::catalogue::detail

namespace pj::catalogue {

enum class TxKind {
    Read,  // several reads that must see one state
    Write, // a change: serialised with every other writer
};

class CatalogueDb::Impl {
public:
    QString name;
    Engine engine = Engine::Sqlite;
    bool odbc = false;
    int busyMs = 5000;
    int txDepth = 0;              // transaction() calls running; only the outermost begins
    std::uint64_t ownCommits = 0; // write transactions committed on this connection
    std::array<std::optional<QSqlQuery>, static_cast<std::size_t>(detail::Stmt::Count_)> cache;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }

    ~Impl() { drop(); }
    void drop();

    QString quote(const QString& identifier) const;

    // Text values in and out, whole. Native SQLite takes bound UTF-16 text
    // and drops a leading U+FEFF as a byte-order mark (U+FFFE even swaps the
    // bytes of the rest); Qt's ODBC driver reads wide text the same way. So
    // bound values that start with either get a native byte-order mark in
    // front (the one SQLite drops), and ODBC selects read text columns with
    // a one-character prefix that text() drops again.
    QVariant bindable(const QVariant& v) const;
    bool prefixesText() const;
    QString text(const QSqlQuery& q, int column) const;
    // One key row read by KeysOfModel or AllKeys.
    KeyRecord keyRecord(const QSqlQuery& q) const;

    // ---- statements (connection.cpp) ----
    // The prepared query of one catalogue statement, prepared on first use.
    Result<QSqlQuery*> query(detail::Stmt s);
    // Runs a statement with its values bound in order.
    Result<QSqlQuery*> run(detail::Stmt s, std::initializer_list<QVariant> values);
    Status exec(detail::Stmt s, std::initializer_list<QVariant> values);
    // First column of the first row, or nullopt when there is none (a NULL
    // value counts as 0, as MAX over an empty table does).
    Result<std::optional<int>> scalar(detail::Stmt s, std::initializer_list<QVariant> values);
    Status plain(const QString& sql);
    Status probe();

    // ---- transactions (connection.cpp) ----
    // SQLite (file or ODBC): BEGIN IMMEDIATE for a change, a deferred BEGIN
    // for reads. PostgreSQL: a change locks the three tables against other
    // writers for the transaction (readers go on), waiting at most the busy
    // time-out; reads run in one repeatable-read snapshot.
    Status begin(TxKind kind);
    Status commit(TxKind kind);
    void rollback();

    // Runs body in one transaction: committed when it succeeds, rolled back
    // when it fails. Inside a running transaction body just runs in it.
    template <class T, class F> Result<T> transaction(TxKind kind, F&& body) {
        if (txDepth > 0) {
            ++txDepth;
            Result<T> r = body();
            --txDepth;
            return r;
        }
        if (auto b = begin(kind); !b)
            return b.error();
        ++txDepth;
        Result<T> r = body();
        --txDepth;
        if (!r) {
            rollback();
            return r;
        }
        if (auto c = commit(kind); !c) {
            rollback();
            return c.error();
        }
        return r;
    }
    template <class T, class F> Result<T> transaction(F&& body) {
        return transaction<T>(TxKind::Write, std::forward<F>(body));
    }

    // ---- reads (reads.cpp) ----
    Result<bool> companyExists(int id);
    Result<bool> modelNameTaken(int companyId, const QString& model);
    Result<ModelRecord> loadModel(int id);
    Result<CatalogueTree> loadTree();
    Result<std::vector<ModelRecord>> loadAllModels();
    // The company's current ID by name; Conflict when it is gone.
    Result<int> currentCompanyId(const CompanyEntry& company);
    // The model as the caller read it, found again and compared: its
    // current record, or Conflict.
    Result<ModelRecord> currentModel(const ModelRecord& asRead);

    // ---- edits (edits.cpp) ----
    Result<int> addCompany(const QString& company);
    Status insertKeys(int modelId, const ModelInput& m);
    Result<int> addModel(int companyId, const ModelInput& m);
    Status modifyModel(int id, const ModelInput& m);

    // ---- deletes and renumbering (deletes.cpp) ----
    Status deleteModel(int id);
    Status deleteCompany(int k);
};

} // namespace pj::catalogue

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

// An ID column as an int; NULL reads as 0.
inline int toId(const QVariant& v) {
    return v.isNull() ? 0 : v.toInt();
}

} // namespace pj::catalogue::detail

namespace pj::catalogue {

class CatalogueDb::Impl {
public:
    QString name;
    Engine engine = Engine::Sqlite;
    bool odbc = false;
    int busyMs = 5000;
    std::array<std::optional<QSqlQuery>, static_cast<std::size_t>(detail::Stmt::Count_)> cache;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }

    ~Impl() { drop(); }
    void drop();

    QString quote(const QString& identifier) const;

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
    Status begin();
    Status commit();
    void rollback();

    // Runs body in one transaction: committed when it succeeds, rolled back
    // when it fails.
    template <class T, class F> Result<T> transaction(F&& body) {
        if (auto b = begin(); !b)
            return b.error();
        Result<T> r = body();
        if (!r) {
            rollback();
            return r;
        }
        if (auto c = commit(); !c) {
            rollback();
            return c.error();
        }
        return r;
    }

    // ---- reads (reads.cpp) ----
    Result<bool> companyExists(int id);
    Result<bool> modelNameTaken(int companyId, const QString& model);
    Result<ModelRecord> loadModel(int id);

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

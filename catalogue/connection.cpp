// Connecting to a catalogue, the prepared statements and the transactions.

#include "catalogue/cataloguedb_p.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDriver>

#include <algorithm>

namespace pj::catalogue {

using detail::dbError;
using detail::notFound;
using detail::Stmt;

namespace detail {

namespace {
QAtomicInteger<quint64> gConnectionCounter;
} // namespace

QString newConnectionName() {
    return QStringLiteral("pj_catalogue_%1").arg(gConnectionCounter.fetchAndAddRelaxed(1));
}

Error notFound() {
    return {ErrorCode::CatalogueNotFound, text::kCatalogueNotFound};
}

bool isBusyError(const QSqlError& e) {
    const QString native = e.nativeErrorCode();
    // SQLite: 5 SQLITE_BUSY, 6 SQLITE_LOCKED; ODBC drivers report the text.
    return native == QLatin1String("5") || native == QLatin1String("6") ||
           e.text().contains(QLatin1String("locked"), Qt::CaseInsensitive) ||
           e.text().contains(QLatin1String("busy"), Qt::CaseInsensitive);
}

Error busyError() {
    return {ErrorCode::Busy, QStringLiteral("目录数据库正被另一个程序使用，请稍后再试")};
}

Error dbError(const QSqlError& e) {
    if (isBusyError(e))
        return busyError();
    QString detail = e.text().simplified();
    return {ErrorCode::Database, QStringLiteral("数据库操作失败：%1").arg(detail)};
}

Engine engineOfConnectionString(const QString& s) {
    if (s.contains(QLatin1String("access"), Qt::CaseInsensitive) ||
        s.contains(QLatin1String("*.mdb"), Qt::CaseInsensitive))
        return Engine::Access;
    if (s.contains(QLatin1String("sqlite"), Qt::CaseInsensitive))
        return Engine::Sqlite;
    return Engine::Other;
}

} // namespace detail

// ---- where the catalogue is ------------------------------------------------

CatalogueLocation CatalogueLocation::fromEnvironment(const QString& file) {
    CatalogueLocation where{file, {}};
    const QString env = qEnvironmentVariable(kCatalogueEnv);
    if (!env.trimmed().isEmpty())
        where.odbc = env;
    return where;
}

QString CatalogueLocation::describe() const {
    return odbc.isEmpty() ? file : odbc;
}

// ---- the connection's statements and transactions -------------------------

void CatalogueDb::Impl::drop() {
    for (auto& q : cache)
        q.reset();
    if (name.isEmpty())
        return;
    {
        QSqlDatabase d = db();
        if (d.isOpen())
            d.close();
    }
    QSqlDatabase::removeDatabase(name);
    name.clear();
}

QString CatalogueDb::Impl::quote(const QString& identifier) const {
    return db().driver()->escapeIdentifier(identifier, QSqlDriver::FieldName);
}

Result<QSqlQuery*> CatalogueDb::Impl::query(Stmt s) {
    auto& slot = cache[static_cast<std::size_t>(s)];
    if (!slot) {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        const auto& entry = detail::statementCatalogue()[static_cast<std::size_t>(s)];
        const QString sql =
            detail::adaptStatement(entry.text, [this](const QString& n) { return quote(n); });
        if (!q.prepare(sql))
            return dbError(q.lastError());
        slot = std::move(q);
    }
    return &*slot;
}

Result<QSqlQuery*> CatalogueDb::Impl::run(Stmt s, std::initializer_list<QVariant> values) {
    auto q = query(s);
    if (!q)
        return q.error();
    QSqlQuery* p = *q;
    p->finish();
    int i = 0;
    for (const QVariant& v : values)
        p->bindValue(i++, v);
    if (!p->exec())
        return dbError(p->lastError());
    return p;
}

Status CatalogueDb::Impl::exec(Stmt s, std::initializer_list<QVariant> values) {
    auto q = run(s, values);
    if (!q)
        return q.error();
    (*q)->finish();
    return {};
}

Result<std::optional<int>> CatalogueDb::Impl::scalar(Stmt s,
                                                     std::initializer_list<QVariant> values) {
    auto q = run(s, values);
    if (!q)
        return q.error();
    std::optional<int> v;
    if ((*q)->next())
        v = detail::toId((*q)->value(0));
    else if ((*q)->lastError().isValid())
        return dbError((*q)->lastError());
    (*q)->finish();
    return v;
}

Status CatalogueDb::Impl::plain(const QString& sql) {
    QSqlQuery q(db());
    if (!q.exec(sql))
        return dbError(q.lastError());
    return {};
}

Status CatalogueDb::Impl::begin() {
    if (engine == Engine::Sqlite && !odbc)
        return plain(QStringLiteral("BEGIN IMMEDIATE"));
    QSqlDatabase d = db();
    if (!d.transaction())
        return dbError(d.lastError());
    return {};
}

Status CatalogueDb::Impl::commit() {
    for (auto& q : cache) {
        if (q)
            q->finish();
    }
    if (engine == Engine::Sqlite && !odbc)
        return plain(QStringLiteral("COMMIT"));
    QSqlDatabase d = db();
    if (!d.commit())
        return dbError(d.lastError());
    return {};
}

void CatalogueDb::Impl::rollback() {
    for (auto& q : cache) {
        if (q)
            q->finish();
    }
    if (engine == Engine::Sqlite && !odbc) {
        QSqlQuery q(db());
        q.exec(QStringLiteral("ROLLBACK"));
    } else {
        db().rollback();
    }
}

Status CatalogueDb::Impl::probe() {
    for (Stmt s : {Stmt::ProbeCop, Stmt::ProbeMachine, Stmt::ProbeFunkey}) {
        if (auto r = exec(s, {}); !r)
            return r;
    }
    return {};
}

// ---- CatalogueDb: opening and closing --------------------------------------

CatalogueDb::CatalogueDb()
    : d_(std::make_unique<Impl>()) {}
CatalogueDb::~CatalogueDb() = default;

bool CatalogueDb::isOpen() const {
    return !d_->name.isEmpty() && d_->db().isOpen();
}

Engine CatalogueDb::engine() const {
    return d_->engine;
}

void CatalogueDb::close() {
    d_->drop();
}

void CatalogueDb::setBusyTimeout(int ms) {
    d_->busyMs = std::max(0, ms);
    if (isOpen() && d_->engine == Engine::Sqlite && !d_->odbc)
        (void)d_->plain(QStringLiteral("PRAGMA busy_timeout=%1").arg(d_->busyMs));
}

namespace {

QString sqliteOptions(bool readOnly, int busyMs) {
    QString o = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs);
    if (readOnly)
        o += QStringLiteral(";QSQLITE_OPEN_READONLY");
    return o;
}

// Opens a file read-only and tells whether it is a sound catalogue, without
// writing to it.
bool probeFileReadOnly(const QString& file, int busyMs) {
    const QString name = detail::newConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(sqliteOptions(true, busyMs));
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("PRAGMA quick_check")) && q.next() &&
                 q.value(0).toString() == QLatin1String("ok");
            q.finish();
            for (const char* probe : {"Select ID,COP From COP Where 1=0",
                                      "Select ID,MODEL,CID,BAUD,DESCRIPT From MACHINE Where 1=0",
                                      "Select ID,\"FUNCTION\",FUNCODE,MID,TYPE,ISASCII,\"CHECK\" "
                                      "From FUNKEY Where 1=0"}) {
                ok = ok && q.exec(QString::fromLatin1(probe));
                q.finish();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

Status CatalogueDb::connect(const CatalogueLocation& where) {
    close();
    d_->name = detail::newConnectionName();
    if (where.odbc.isEmpty()) {
        d_->odbc = false;
        d_->engine = Engine::Sqlite;
        const QFileInfo fi(where.file);
        if (where.file.isEmpty() || !fi.exists() || !fi.isFile()) {
            d_->name.clear();
            return notFound();
        }
        if (!probeFileReadOnly(where.file, d_->busyMs)) {
            // A process killed in the middle of a change leaves a journal that
            // only a writer can roll back; with one present, probe again
            // read-write (which restores the catalogue as it was).
            const QFileInfo journal(where.file + QStringLiteral("-journal"));
            if (!journal.exists() || journal.size() == 0) {
                d_->name.clear();
                return notFound();
            }
        }
        bool opened = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d_->name);
            db.setDatabaseName(where.file);
            db.setConnectOptions(sqliteOptions(false, d_->busyMs));
            opened = db.open();
        }
        if (!opened) {
            close();
            return notFound();
        }
    } else {
        d_->odbc = true;
        d_->engine = detail::engineOfConnectionString(where.odbc);
        bool opened = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), d_->name);
            db.setDatabaseName(where.odbc);
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=5"));
            opened = db.open();
        }
        if (!opened) {
            close();
            return notFound();
        }
    }
    if (!d_->probe()) {
        close();
        return notFound();
    }
    return {};
}

} // namespace pj::catalogue

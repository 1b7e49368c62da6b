// Connecting to a catalogue, the prepared statements and the transactions.

#include "catalogue/cataloguedb_p.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>

#include <QTemporaryDir>

#include <algorithm>
#include <limits>

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
    const QString text = e.text();
    // SQLite: 5 SQLITE_BUSY, 6 SQLITE_LOCKED; ODBC drivers report the text
    // (PostgreSQL: "canceling statement due to lock timeout").
    return native == QLatin1String("5") || native == QLatin1String("6") ||
           text.contains(QLatin1String("locked"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String("busy"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String("lock timeout"), Qt::CaseInsensitive);
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
    if (s.contains(QLatin1String("postgres"), Qt::CaseInsensitive))
        return Engine::PostgreSql;
    return Engine::Other;
}

Engine detectOdbcEngine(QSqlDatabase& db, const QString& connectionString) {
    const Engine named = engineOfConnectionString(connectionString);
    if (named != Engine::Other)
        return named;
    // A data source name says nothing: ask the server. Only PostgreSQL
    // answers version() with its name; the other engines refuse it.
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("Select version()")) && q.next() &&
        q.value(0).toString().startsWith(QLatin1String("PostgreSQL")))
        return Engine::PostgreSql;
    return Engine::Other;
}

std::optional<qint64> storedInteger(const QVariant& v) {
    if (v.isNull())
        return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        return v.toLongLong();
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
        const qulonglong u = v.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return static_cast<qint64>(u);
    }
    default:
        break;
    }
    // Text, or a real number: only an exact whole number counts.
    bool ok = false;
    const QString text = v.toString().trimmed();
    const qint64 n = text.toLongLong(&ok);
    if (ok)
        return n;
    const double d = v.toDouble(&ok);
    if (ok && d == static_cast<double>(static_cast<qint64>(d)) && d > -9.2e18 && d < 9.2e18)
        return static_cast<qint64>(d);
    return std::nullopt;
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
    if (odbc.isEmpty())
        return file;
    // Messages and logs never show a password.
    static const QRegularExpression password(
        QStringLiteral("\\b(pwd|password)\\s*=\\s*(\\{[^}]*\\}|[^;]*)"),
        QRegularExpression::CaseInsensitiveOption);
    QString shown = odbc;
    shown.replace(password, QStringLiteral("\\1=***"));
    return shown;
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

bool CatalogueDb::Impl::prefixesText() const {
    return odbc && (engine == Engine::Sqlite || engine == Engine::PostgreSql);
}

QString CatalogueDb::Impl::text(const QSqlQuery& q, int column) const {
    const QVariant v = q.value(column);
    if (v.isNull())
        return QString();
    return prefixesText() ? v.toString().mid(1) : v.toString();
}

QVariant CatalogueDb::Impl::bindable(const QVariant& v) const {
    if (odbc || v.typeId() != QMetaType::QString)
        return v;
    const QString s = v.toString();
    if (s.isEmpty() || (s[0] != QChar(0xFEFF) && s[0] != QChar(0xFFFE)))
        return v;
    return QString(QChar(0xFEFF) + s);
}

Result<QSqlQuery*> CatalogueDb::Impl::query(Stmt s) {
    auto& slot = cache[static_cast<std::size_t>(s)];
    if (!slot) {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        const auto& entry = detail::statementCatalogue()[static_cast<std::size_t>(s)];
        const QString sql = detail::adaptStatement(
            entry.text, [this](const QString& n) { return quote(n); },
            prefixesText() ? QStringLiteral("'.' || ") : QString(),
            odbc && engine == Engine::Sqlite);
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
        p->bindValue(i++, bindable(v));
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

Status CatalogueDb::Impl::begin(TxKind kind) {
    // SQLite, natively or through its ODBC driver: the transaction statements
    // themselves, so that a change takes the write lock at once (waiting at
    // most the busy time-out) instead of failing when it upgrades a read lock.
    if (engine == Engine::Sqlite)
        return plain(kind == TxKind::Write ? QStringLiteral("BEGIN IMMEDIATE")
                                           : QStringLiteral("BEGIN"));
    QSqlDatabase d = db();
    if (!d.transaction())
        return dbError(d.lastError());
    if (engine != Engine::PostgreSql)
        return {};
    Status r;
    if (kind == TxKind::Read) {
        r = plain(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"));
    } else {
        // Every change takes MAX(ID)+1 or renumbers: one writer at a time, as
        // on SQLite. The lock lets plain reads through; all three tables in
        // one statement, so two writers can never wait for each other.
        r = plain(QStringLiteral("SET LOCAL lock_timeout = '%1ms'").arg(std::max(1, busyMs)));
        if (r)
            r = plain(
                QStringLiteral("LOCK TABLE COP, MACHINE, FUNKEY IN SHARE ROW EXCLUSIVE MODE"));
    }
    if (!r)
        d.rollback();
    return r;
}

Status CatalogueDb::Impl::commit(TxKind kind) {
    for (auto& q : cache) {
        if (q)
            q->finish();
    }
    Status r;
    if (engine == Engine::Sqlite) {
        r = plain(QStringLiteral("COMMIT"));
    } else {
        QSqlDatabase d = db();
        if (!d.commit())
            r = dbError(d.lastError());
    }
    if (r && kind == TxKind::Write)
        ++ownCommits;
    return r;
}

void CatalogueDb::Impl::rollback() {
    for (auto& q : cache) {
        if (q)
            q->finish();
    }
    if (engine == Engine::Sqlite) {
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
    // SQLite through its ODBC driver takes the same pragma; PostgreSQL gets
    // the time as the lock time-out of each change.
    if (isOpen() && d_->engine == Engine::Sqlite)
        (void)d_->plain(QStringLiteral("PRAGMA busy_timeout=%1").arg(d_->busyMs));
}

namespace {

QString sqliteOptions(bool readOnly, int busyMs) {
    QString o = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs);
    if (readOnly)
        o += QStringLiteral(";QSQLITE_OPEN_READONLY");
    return o;
}

enum class Probe { Sound, Bad, Busy };

// The integrity check and the three tables with their columns, on an open
// connection.
Probe probeConnection(QSqlDatabase& db) {
    QSqlQuery q(db);
    const auto failed = [&] {
        return detail::isBusyError(q.lastError()) ? Probe::Busy : Probe::Bad;
    };
    if (!q.exec(QStringLiteral("PRAGMA quick_check")))
        return failed();
    if (!q.next())
        return q.lastError().isValid() ? failed() : Probe::Bad;
    if (q.value(0).toString() != QLatin1String("ok"))
        return Probe::Bad;
    q.finish();
    for (const char* probe : {"Select ID,COP From COP Where 1=0",
                              "Select ID,MODEL,CID,BAUD,DESCRIPT From MACHINE Where 1=0",
                              "Select ID,\"FUNCTION\",FUNCODE,MID,TYPE,ISASCII,\"CHECK\" "
                              "From FUNKEY Where 1=0"}) {
        if (!q.exec(QString::fromLatin1(probe)))
            return failed();
        q.finish();
    }
    return Probe::Sound;
}

// Opens a file on its own connection and probes it; read-only never writes.
Probe probeFile(const QString& file, bool readOnly, int busyMs) {
    const QString name = detail::newConnectionName();
    Probe result = Probe::Bad;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(sqliteOptions(readOnly, busyMs));
        if (db.open()) {
            result = probeConnection(db);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

// The files SQLite keeps beside a database while changing it.
const char* const kCompanions[] = {"-journal", "-wal", "-shm"};

bool hasCompanions(const QString& file) {
    for (const char* suffix : kCompanions) {
        if (QFileInfo::exists(file + QLatin1String(suffix)))
            return true;
    }
    return false;
}

// A file whose read-only check failed while files lie beside it: either a
// change was cut off (its journal restores the file when a writer opens it)
// or the file is damaged. Tells which without touching any of them: the
// file and everything beside it are copied, the copy is opened for writing
// (restored) and checked.
bool restoredCopyIsSound(const QString& file, int busyMs) {
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return false;
    const QString copy = scratch.filePath(QStringLiteral("catalogue"));
    if (!QFile::copy(file, copy))
        return false;
    for (const char* suffix : kCompanions) {
        const QString companion = file + QLatin1String(suffix);
        if (QFileInfo::exists(companion) && !QFile::copy(companion, copy + QLatin1String(suffix)))
            return false;
    }
    return probeFile(copy, false, busyMs) == Probe::Sound;
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
        // The file is written to only after it has passed the integrity
        // check, whatever lies beside it.
        bool checkAgain = false;
        switch (probeFile(where.file, true, d_->busyMs)) {
        case Probe::Sound:
            break;
        case Probe::Busy:
            d_->name.clear();
            return detail::busyError();
        case Probe::Bad:
            if (!hasCompanions(where.file) || !restoredCopyIsSound(where.file, d_->busyMs)) {
                d_->name.clear();
                return notFound();
            }
            checkAgain = true;
            break;
        }
        bool opened = false;
        Probe again = Probe::Sound;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d_->name);
            db.setDatabaseName(where.file);
            db.setConnectOptions(sqliteOptions(false, d_->busyMs));
            opened = db.open();
            // The same restoration the copy went through, now on the file
            // itself, checked once more.
            if (opened && checkAgain)
                again = probeConnection(db);
        }
        if (!opened) {
            close();
            return notFound();
        }
        if (again != Probe::Sound) {
            close();
            return again == Probe::Busy ? detail::busyError() : notFound();
        }
    } else {
        d_->odbc = true;
        bool opened = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), d_->name);
            db.setDatabaseName(where.odbc);
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=5"));
            opened = db.open();
            if (opened)
                d_->engine = detail::detectOdbcEngine(db, where.odbc);
        }
        if (!opened) {
            close();
            return notFound();
        }
        if (d_->engine == Engine::Sqlite)
            (void)d_->plain(QStringLiteral("PRAGMA busy_timeout=%1").arg(d_->busyMs));
    }
    if (auto r = d_->probe(); !r) {
        close();
        return r.error().code == ErrorCode::Busy ? r.error() : notFound();
    }
    return {};
}

} // namespace pj::catalogue

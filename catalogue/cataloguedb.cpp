#include "catalogue/cataloguedb.h"

#include "catalogue/functionkeys.h"
#include "catalogue/statements.h"
#include "link/codetext.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <set>

namespace pj::catalogue {

using detail::Stmt;

namespace {

QAtomicInteger<quint64> gConnectionCounter;

QString newConnectionName() {
    return QStringLiteral("pj_catalogue_%1").arg(gConnectionCounter.fetchAndAddRelaxed(1));
}

Error notFound() {
    return {ErrorCode::CatalogueNotFound, text::kCatalogueNotFound};
}

// Characters as the user counts them (a character outside the BMP is one).
qsizetype charCount(const QString& s) {
    qsizetype n = 0;
    for (const QChar c : s) {
        if (!c.isLowSurrogate())
            ++n;
    }
    return n;
}

Status checkLength(const QString& value, int limit, const QString& what) {
    if (charCount(value) > limit)
        return Error{ErrorCode::TooLong, QStringLiteral("%1超过%2个字符").arg(what).arg(limit)};
    return {};
}

bool isBusyError(const QSqlError& e) {
    const QString native = e.nativeErrorCode();
    // SQLite: 5 SQLITE_BUSY, 6 SQLITE_LOCKED; ODBC drivers report the text.
    return native == QLatin1String("5") || native == QLatin1String("6") ||
           e.text().contains(QLatin1String("locked"), Qt::CaseInsensitive) ||
           e.text().contains(QLatin1String("busy"), Qt::CaseInsensitive);
}

Error dbError(const QSqlError& e) {
    if (isBusyError(e))
        return {ErrorCode::Busy, QStringLiteral("目录数据库正被另一个程序使用，请稍后再试")};
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

int toId(const QVariant& v) {
    return v.isNull() ? 0 : v.toInt();
}

} // namespace

// ---------------------------------------------------------------------------

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

void fillSelectedModel(const ModelRecord& model, pj::link::SelectedModel& out) {
    out.selectedModelId = model.id;
    out.selectedBaud = model.baud;
    out.selectedBaudText = std::to_string(model.baud);
    out.lastParity = 0;
    out.rows.clear();
    out.rows.reserve(model.keys.size());
    for (const KeyRecord& k : model.keys) {
        pj::link::CodeListEntry e;
        e.name = k.function.toStdString();
        e.codeText = k.code.toStdString();
        e.keyType = static_cast<std::uint32_t>(k.slot);
        e.parity = static_cast<std::uint32_t>(k.parity);
        out.lastParity = e.parity;
        out.rows.push_back(std::move(e));
    }
    if (!out.rows.empty())
        out.rows.front().selected = true;
}

// ---------------------------------------------------------------------------

class CatalogueDb::Impl {
public:
    QString name;
    Engine engine = Engine::Sqlite;
    bool odbc = false;
    int busyMs = 5000;
    std::array<std::optional<QSqlQuery>, static_cast<std::size_t>(Stmt::Count_)> cache;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }

    ~Impl() { drop(); }

    void drop() {
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

    QString quote(const QString& identifier) const {
        return db().driver()->escapeIdentifier(identifier, QSqlDriver::FieldName);
    }

    // The prepared query of one catalogue statement, prepared on first use.
    Result<QSqlQuery*> query(Stmt s) {
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

    // Runs a statement with its values bound in order.
    Result<QSqlQuery*> run(Stmt s, std::initializer_list<QVariant> values) {
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

    Status exec(Stmt s, std::initializer_list<QVariant> values) {
        auto q = run(s, values);
        if (!q)
            return q.error();
        (*q)->finish();
        return {};
    }

    // First column of the first row, or nullopt when there is none (a NULL
    // value counts as 0, as MAX over an empty table does).
    Result<std::optional<int>> scalar(Stmt s, std::initializer_list<QVariant> values) {
        auto q = run(s, values);
        if (!q)
            return q.error();
        std::optional<int> v;
        if ((*q)->next())
            v = toId((*q)->value(0));
        else if ((*q)->lastError().isValid())
            return dbError((*q)->lastError());
        (*q)->finish();
        return v;
    }

    Status plain(const QString& sql) {
        QSqlQuery q(db());
        if (!q.exec(sql))
            return dbError(q.lastError());
        return {};
    }

    Status begin() {
        if (engine == Engine::Sqlite && !odbc)
            return plain(QStringLiteral("BEGIN IMMEDIATE"));
        QSqlDatabase d = db();
        if (!d.transaction())
            return dbError(d.lastError());
        return {};
    }
    Status commit() {
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
    void rollback() {
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

    Status probe() {
        for (Stmt s : {Stmt::ProbeCop, Stmt::ProbeMachine, Stmt::ProbeFunkey}) {
            if (auto r = exec(s, {}); !r)
                return r;
        }
        return {};
    }

    // ---- operation bodies, run inside a transaction ----

    Result<bool> companyExists(int id) {
        auto q = run(Stmt::CompanyById, {id});
        if (!q)
            return q.error();
        const bool found = (*q)->next();
        (*q)->finish();
        return found;
    }

    Result<int> addCompany(const QString& company) {
        auto dup = run(Stmt::DuplicateCompany, {company});
        if (!dup)
            return dup.error();
        const bool exists = (*dup)->next();
        (*dup)->finish();
        if (exists)
            return Error{ErrorCode::CompanyExists, text::kCompanyExists};
        auto max = scalar(Stmt::MaxCompanyId, {});
        if (!max)
            return max.error();
        const int id = max->value_or(0) + 1;
        if (auto r = exec(Stmt::InsertCompany, {id, company}); !r)
            return r.error();
        return id;
    }

    Result<bool> modelNameTaken(int companyId, const QString& model) {
        auto dup = run(Stmt::DuplicateModel, {model, companyId});
        if (!dup)
            return dup.error();
        const bool exists = (*dup)->next();
        (*dup)->finish();
        return exists;
    }

    Status insertKeys(int modelId, const ModelInput& m) {
        for (const KeyInput& k : m.keys) {
            auto code = CatalogueDb::storedCodeText(k.code, m.ascii, m.codesStored);
            if (!code)
                return code.error();
            if (auto r = exec(Stmt::InsertKey,
                              {k.function, *code, modelId, k.slot, m.ascii ? 1 : 0, m.parity});
                !r)
                return r;
        }
        return {};
    }

    Result<int> addModel(int companyId, const ModelInput& m) {
        auto company = companyExists(companyId);
        if (!company)
            return company.error();
        if (!*company)
            return Error{ErrorCode::NoSuchCompany, QStringLiteral("没找到该公司")};
        auto taken = modelNameTaken(companyId, m.name);
        if (!taken)
            return taken.error();
        if (*taken)
            return Error{ErrorCode::ModelExists, text::kModelExists};
        auto max = scalar(Stmt::MaxModelId, {});
        if (!max)
            return max.error();
        const int id = max->value_or(0) + 1;
        if (auto r = exec(Stmt::InsertModel,
                          {id, m.name, companyId, static_cast<int>(m.baud), m.description});
            !r)
            return r.error();
        if (auto r = insertKeys(id, m); !r)
            return r.error();
        return id;
    }

    Result<ModelRecord> loadModel(int id) {
        auto q = run(Stmt::ModelById, {id});
        if (!q)
            return q.error();
        if (!(*q)->next()) {
            const QSqlError e = (*q)->lastError();
            (*q)->finish();
            if (e.isValid())
                return dbError(e);
            return Error{ErrorCode::NoSuchModel, QStringLiteral("没找到该型号")};
        }
        ModelRecord m;
        m.id = id;
        m.name = (*q)->value(0).toString();
        m.baud = static_cast<std::uint32_t>((*q)->value(1).toLongLong());
        m.description = (*q)->value(2).toString();
        m.companyId = toId((*q)->value(3));
        (*q)->finish();
        auto k = run(Stmt::KeysOfModel, {id});
        if (!k)
            return k.error();
        QSqlQuery* kq = *k;
        while (kq->next()) {
            KeyRecord r;
            r.id = toId(kq->value(0));
            r.function = kq->value(1).toString();
            r.code = kq->value(2).toString();
            r.slot = kq->value(3).toInt();
            r.ascii = kq->value(4).toInt() != 0;
            r.parity = kq->value(5).toInt();
            m.ascii = r.ascii;
            m.parity = r.parity;
            m.keys.push_back(std::move(r));
        }
        if (kq->lastError().isValid())
            return dbError(kq->lastError());
        kq->finish();
        return m;
    }

    Status modifyModel(int id, const ModelInput& m) {
        auto current = loadModel(id);
        if (!current)
            return current.error();
        if (m.name != current->name) {
            auto taken = modelNameTaken(current->companyId, m.name);
            if (!taken)
                return taken.error();
            if (*taken)
                return Error{ErrorCode::ModelExists, text::kModelExists};
        }
        if (auto r = exec(Stmt::UpdateModel, {m.name, static_cast<int>(m.baud), m.description, id});
            !r)
            return r;
        if (auto r = exec(Stmt::DeleteKeysOfModel, {id}); !r)
            return r;
        return insertKeys(id, m);
    }

    Status deleteModel(int id) {
        auto q = run(Stmt::ModelById, {id});
        if (!q)
            return q.error();
        const bool found = (*q)->next();
        (*q)->finish();
        if (!found)
            return Error{ErrorCode::NoSuchModel, QStringLiteral("没找到该型号")};
        for (Stmt s : {Stmt::DeleteKeysOfModel, Stmt::DeleteModel, Stmt::RenumberModels,
                       Stmt::RenumberKeys}) {
            if (auto r = exec(s, {id}); !r)
                return r;
        }
        return {};
    }

    Status deleteCompany(int k) {
        auto company = companyExists(k);
        if (!company)
            return company.error();
        if (!*company)
            return Error{ErrorCode::NoSuchCompany, QStringLiteral("没找到该公司")};
        // The IDs of the company's models, ascending.
        std::vector<int> removed;
        {
            auto q = run(Stmt::ModelsOfCompany, {k});
            if (!q)
                return q.error();
            while ((*q)->next())
                removed.push_back(toId((*q)->value(0)));
            (*q)->finish();
        }
        std::sort(removed.begin(), removed.end());
        removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
        if (!removed.empty()) {
            if (auto r = exec(Stmt::DeleteKeysOfCompany, {k}); !r)
                return r;
            if (auto r = exec(Stmt::DeleteModelsOfCompany, {k}); !r)
                return r;
            // The IDs between removed[i] and removed[i+1] move down by i+1.
            for (std::size_t i = 0; i < removed.size(); ++i) {
                const int shift = static_cast<int>(i + 1);
                const int from = removed[i];
                const bool tail = i + 1 == removed.size();
                if (!tail && removed[i + 1] == from + 1)
                    continue; // nothing lies between two adjacent removed IDs
                Status r = tail ? exec(Stmt::ShiftModelTail, {shift, from})
                                : exec(Stmt::ShiftModelRange, {shift, from, removed[i + 1]});
                if (!r)
                    return r;
                r = tail ? exec(Stmt::ShiftKeyTail, {shift, from})
                         : exec(Stmt::ShiftKeyRange, {shift, from, removed[i + 1]});
                if (!r)
                    return r;
            }
        }
        for (Stmt s : {Stmt::DeleteCompany, Stmt::RenumberCids, Stmt::RenumberCompanies}) {
            if (auto r = exec(s, {k}); !r)
                return r;
        }
        return {};
    }
};

// ---------------------------------------------------------------------------

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
    const QString name = newConnectionName();
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
    d_->name = newConnectionName();
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
        d_->engine = engineOfConnectionString(where.odbc);
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

Status CatalogueDb::init(const CatalogueLocation& where) {
    const QString name = newConnectionName();
    Status result;
    bool createdFile = false;
    {
        QSqlDatabase db;
        Engine engine = Engine::Sqlite;
        if (where.odbc.isEmpty()) {
            if (where.file.isEmpty())
                return notFound();
            if (QFileInfo::exists(where.file))
                return Error{ErrorCode::CatalogueExists,
                             QStringLiteral("文件已经存在，不会覆盖：%1").arg(where.file)};
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(where.file);
            createdFile = true;
        } else {
            engine = engineOfConnectionString(where.odbc);
            db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
            db.setDatabaseName(where.odbc);
        }
        if (!db.open()) {
            result = Error{ErrorCode::CatalogueNotFound,
                           QStringLiteral("无法创建目录数据库：%1").arg(where.describe())};
        } else {
            const auto q = [&](const char* id) {
                return db.driver()->escapeIdentifier(QString::fromLatin1(id),
                                                     QSqlDriver::FieldName);
            };
            QStringList ddl;
            if (engine == Engine::Access) {
                ddl << QStringLiteral("CREATE TABLE COP (ID LONG, COP TEXT(50))")
                    << QStringLiteral("CREATE TABLE MACHINE (ID LONG, MODEL TEXT(50), CID LONG, "
                                      "BAUD LONG, DESCRIPT MEMO)")
                    << QStringLiteral("CREATE TABLE FUNKEY (ID COUNTER, %1 TEXT(50), FUNCODE "
                                      "TEXT(255), MID LONG, TYPE LONG, ISASCII LONG, %2 LONG)")
                           .arg(q("FUNCTION"), q("CHECK"));
            } else {
                const QString keyId = engine == Engine::Sqlite
                                          ? QStringLiteral("INTEGER PRIMARY KEY")
                                          : QStringLiteral("INTEGER GENERATED BY DEFAULT AS "
                                                           "IDENTITY PRIMARY KEY");
                ddl << QStringLiteral("CREATE TABLE COP (ID INTEGER, COP VARCHAR(50))")
                    << QStringLiteral("CREATE TABLE MACHINE (ID INTEGER, MODEL VARCHAR(50), CID "
                                      "INTEGER, BAUD INTEGER, DESCRIPT TEXT)")
                    << QStringLiteral("CREATE TABLE FUNKEY (ID %1, %2 VARCHAR(50), FUNCODE "
                                      "VARCHAR(255), MID INTEGER, TYPE INTEGER, ISASCII INTEGER, "
                                      "%3 INTEGER)")
                           .arg(keyId, q("FUNCTION"), q("CHECK"));
            }
            ddl << QStringLiteral("CREATE INDEX COP_ID ON COP (ID)")
                << QStringLiteral("CREATE INDEX COP_NAME ON COP (COP)")
                << QStringLiteral("CREATE INDEX MACHINE_ID ON MACHINE (ID)")
                << QStringLiteral("CREATE INDEX MACHINE_CID ON MACHINE (CID, MODEL)")
                << QStringLiteral("CREATE INDEX FUNKEY_MID ON FUNKEY (MID)");
            // Refuse a connection that already holds any of the tables.
            const QStringList tables = db.tables();
            for (const char* t : {"COP", "MACHINE", "FUNKEY"}) {
                if (tables.contains(QString::fromLatin1(t), Qt::CaseInsensitive))
                    result = Error{ErrorCode::CatalogueExists,
                                   QStringLiteral("目录数据库已经有表 %1").arg(QLatin1String(t))};
            }
            if (result) {
                db.transaction();
                QSqlQuery query(db);
                for (const QString& s : ddl) {
                    if (!query.exec(s)) {
                        result = dbError(query.lastError());
                        break;
                    }
                }
                query.finish();
                if (result)
                    db.commit();
                else
                    db.rollback();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!result && createdFile)
        QFile::remove(where.file);
    return result;
}

// ---- reads ----------------------------------------------------------------

Result<CatalogueTree> CatalogueDb::loadTree() {
    if (!isOpen())
        return notFound();
    CatalogueTree t;
    {
        auto q = d_->run(Stmt::TreeCompanies, {});
        if (!q)
            return q.error();
        while ((*q)->next())
            t.companies.push_back({toId((*q)->value(0)), (*q)->value(1).toString()});
        if ((*q)->lastError().isValid())
            return dbError((*q)->lastError());
        (*q)->finish();
    }
    {
        auto q = d_->run(Stmt::TreeModels, {});
        if (!q)
            return q.error();
        while ((*q)->next())
            t.models.push_back(
                {toId((*q)->value(0)), toId((*q)->value(2)), (*q)->value(1).toString()});
        if ((*q)->lastError().isValid())
            return dbError((*q)->lastError());
        (*q)->finish();
    }
    return t;
}

Result<int> CatalogueDb::findCompany(const QString& name) {
    if (!isOpen())
        return notFound();
    auto v = d_->scalar(Stmt::CompanyIdByName, {name});
    if (!v)
        return v.error();
    if (!*v)
        return Error{ErrorCode::NoSuchCompany, QStringLiteral("没找到该公司：%1").arg(name)};
    return **v;
}

Result<int> CatalogueDb::findModel(int companyId, const QString& name) {
    if (!isOpen())
        return notFound();
    auto v = d_->scalar(Stmt::ModelIdByName, {name, companyId});
    if (!v)
        return v.error();
    if (!*v)
        return Error{ErrorCode::NoSuchModel, QStringLiteral("没找到该型号：%1").arg(name)};
    return **v;
}

Result<ModelRecord> CatalogueDb::loadModel(int modelId) {
    if (!isOpen())
        return notFound();
    return d_->loadModel(modelId);
}

Result<std::vector<ModelEntry>> CatalogueDb::modelsOfCompany(int companyId) {
    if (!isOpen())
        return notFound();
    auto q = d_->run(Stmt::ModelsOfCompany, {companyId});
    if (!q)
        return q.error();
    std::vector<ModelEntry> out;
    while ((*q)->next())
        out.push_back({toId((*q)->value(0)), toId((*q)->value(2)), (*q)->value(1).toString()});
    (*q)->finish();
    return out;
}

// ---- validation -----------------------------------------------------------

Result<QString> CatalogueDb::storedCodeText(const QString& typed, bool ascii, bool codesStored) {
    QString stored;
    if (ascii && !codesStored) {
        // Text typed for an ASCII model: printable ASCII only, converted to
        // hex pairs with the closing carriage return.
        for (const QChar c : typed) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7e)
                return Error{ErrorCode::BadCode, text::kBadCode};
        }
        stored = QString::fromStdString(pj::link::asciiToCodeText(typed.toStdString()));
    } else {
        const std::string s = typed.toStdString();
        const auto bytes = pj::link::parseCodeTextStrict(s);
        // A typed code must hold at least one byte; a stored row may be empty.
        if (!bytes || (bytes->empty() && !codesStored))
            return Error{ErrorCode::BadCode, text::kBadCode};
        stored = typed;
    }
    if (charCount(stored) > kMaxCodeLength)
        return Error{ErrorCode::TooLong, QStringLiteral("功能码超过%1个字符").arg(kMaxCodeLength)};
    return stored;
}

Status CatalogueDb::validateModelInput(const ModelInput& m) {
    if (m.name.isEmpty())
        return Error{ErrorCode::EmptyModelName, text::kEmptyModelName};
    if (auto r = checkLength(m.name, kMaxNameLength, QStringLiteral("型号名称")); !r)
        return r;
    if (auto r = checkLength(m.description, kMaxDescriptionLength, QStringLiteral("备注")); !r)
        return r;
    if (m.parity < 0 || m.parity > 2)
        return Error{ErrorCode::BadParity,
                     QStringLiteral("校验位必须是 0（无校验）、1（奇校验）或 2（偶校验）")};
    if (m.baud > static_cast<std::uint32_t>(std::numeric_limits<qint32>::max()))
        return Error{ErrorCode::BadBaud, QStringLiteral("波特率超出范围")};
    for (const KeyInput& k : m.keys) {
        if (auto r = checkLength(k.function, kMaxNameLength, QStringLiteral("功能键名称")); !r)
            return r;
        if (!isValidSlot(k.slot))
            return Error{ErrorCode::BadSlot,
                         QStringLiteral("功能键位置 %1 不在 0 到 17 之间").arg(k.slot)};
        if (auto c = storedCodeText(k.code, m.ascii, m.codesStored); !c)
            return c.error();
    }
    return {};
}

// ---- operations -----------------------------------------------------------

Result<int> CatalogueDb::addCompany(const QString& name) {
    if (!isOpen())
        return notFound();
    if (auto r = checkLength(name, kMaxNameLength, QStringLiteral("公司名称")); !r)
        return r.error();
    return d_->transaction<int>([&] { return d_->addCompany(name); });
}

Result<int> CatalogueDb::addModel(int companyId, const ModelInput& model) {
    if (!isOpen())
        return notFound();
    if (auto r = validateModelInput(model); !r)
        return r.error();
    return d_->transaction<int>([&] { return d_->addModel(companyId, model); });
}

Status CatalogueDb::modifyModel(int modelId, const ModelInput& model) {
    if (!isOpen())
        return notFound();
    if (auto r = validateModelInput(model); !r)
        return r;
    return d_->transaction<void>([&] { return d_->modifyModel(modelId, model); });
}

Status CatalogueDb::deleteModel(int modelId) {
    if (!isOpen())
        return notFound();
    return d_->transaction<void>([&] { return d_->deleteModel(modelId); });
}

Status CatalogueDb::deleteCompany(int companyId) {
    if (!isOpen())
        return notFound();
    return d_->transaction<void>([&] { return d_->deleteCompany(companyId); });
}

// ---- check ----------------------------------------------------------------

namespace {

// Describes how a list of IDs differs from 1..n: missing runs, duplicates.
void reportIds(std::vector<int> ids, ProblemKind kind, const QString& what,
               std::vector<Problem>& out) {
    std::sort(ids.begin(), ids.end());
    int expected = 1;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const int id = ids[i];
        if (i > 0 && id == ids[i - 1]) {
            if (i < 2 || ids[i - 2] != id)
                out.push_back({kind, QStringLiteral("%1编号 %2 重复").arg(what).arg(id)});
            continue;
        }
        if (id < expected) {
            out.push_back({kind, QStringLiteral("%1编号 %2 小于 1").arg(what).arg(id)});
            continue;
        }
        if (id > expected) {
            out.push_back(
                {kind,
                 id - 1 == expected
                     ? QStringLiteral("缺少%1编号 %2").arg(what).arg(expected)
                     : QStringLiteral("缺少%1编号 %2..%3").arg(what).arg(expected).arg(id - 1)});
        }
        expected = id + 1;
    }
}

} // namespace

Result<std::vector<Problem>> CatalogueDb::checkCatalogue() {
    if (!isOpen())
        return notFound();
    auto tree = loadTree();
    if (!tree)
        return tree.error();
    std::vector<Problem> out;

    std::vector<int> companyIds;
    std::set<int> companySet;
    std::map<QString, int> companyNames;
    for (const auto& c : tree->companies) {
        companyIds.push_back(c.id);
        companySet.insert(c.id);
        if (++companyNames[c.name] == 2)
            out.push_back({ProblemKind::BadValue, QStringLiteral("公司名称重复：%1").arg(c.name)});
    }
    reportIds(companyIds, ProblemKind::CompanyIdNotDense, QStringLiteral("公司"), out);

    std::vector<int> modelIds;
    std::set<int> modelSet;
    std::map<std::pair<int, QString>, int> modelNames;
    for (const auto& m : tree->models) {
        modelIds.push_back(m.id);
        modelSet.insert(m.id);
        if (!companySet.count(m.companyId))
            out.push_back(
                {ProblemKind::DanglingCompany, QStringLiteral("型号 %1（%2）的公司编号 %3 不存在")
                                                   .arg(m.id)
                                                   .arg(m.name)
                                                   .arg(m.companyId)});
        if (++modelNames[{m.companyId, m.name}] == 2)
            out.push_back(
                {ProblemKind::BadValue,
                 QStringLiteral("公司 %1 中型号名称重复：%2").arg(m.companyId).arg(m.name)});
    }
    reportIds(modelIds, ProblemKind::ModelIdNotDense, QStringLiteral("型号"), out);

    auto q = d_->run(Stmt::CheckKeys, {});
    if (!q)
        return q.error();
    struct PerModel {
        int rows = 0;
        std::set<int> ascii, parity;
    };
    std::map<int, PerModel> perModel;
    while ((*q)->next()) {
        const int keyId = toId((*q)->value(0));
        const QVariant mid = (*q)->value(1);
        const QVariant type = (*q)->value(2);
        const int ascii = (*q)->value(3).toInt();
        const int parity = (*q)->value(4).toInt();
        if (mid.isNull()) {
            out.push_back({ProblemKind::DanglingModel,
                           QStringLiteral("功能码行 %1 没有型号编号").arg(keyId)});
            continue;
        }
        auto& pm = perModel[mid.toInt()];
        ++pm.rows;
        pm.ascii.insert(ascii);
        pm.parity.insert(parity);
        if (type.isNull() || !isValidSlot(type.toLongLong()))
            out.push_back({ProblemKind::SlotOutOfRange,
                           QStringLiteral("功能码行 %1（型号 %2）的功能键位置 %3 不在 0..17 之间")
                               .arg(keyId)
                               .arg(mid.toInt())
                               .arg(type.isNull() ? QStringLiteral("空") : type.toString())});
        if (ascii != 0 && ascii != 1)
            out.push_back(
                {ProblemKind::BadValue,
                 QStringLiteral("功能码行 %1 的 ISASCII 值 %2 无效").arg(keyId).arg(ascii)});
        if (parity < 0 || parity > 2)
            out.push_back({ProblemKind::BadValue,
                           QStringLiteral("功能码行 %1 的校验位 %2 无效").arg(keyId).arg(parity)});
    }
    if ((*q)->lastError().isValid())
        return dbError((*q)->lastError());
    (*q)->finish();
    for (const auto& [mid, pm] : perModel) {
        if (!modelSet.count(mid))
            out.push_back(
                {ProblemKind::DanglingModel,
                 QStringLiteral("型号编号 %1 不存在，却有 %2 行功能码").arg(mid).arg(pm.rows)});
        if (pm.ascii.size() > 1)
            out.push_back({ProblemKind::MixedAscii,
                           QStringLiteral("型号 %1 的功能码行 ISASCII 不一致").arg(mid)});
        if (pm.parity.size() > 1)
            out.push_back({ProblemKind::MixedParity,
                           QStringLiteral("型号 %1 的功能码行校验位不一致").arg(mid)});
    }
    return out;
}

// ---- export and import ----------------------------------------------------

Result<CatalogueSnapshot> CatalogueDb::exportSnapshot() {
    if (!isOpen())
        return notFound();
    auto tree = loadTree();
    if (!tree)
        return tree.error();
    CatalogueSnapshot s;
    std::map<int, QString> companyName;
    for (const auto& c : tree->companies) {
        s.companies.push_back(c.name);
        companyName.emplace(c.id, c.name);
    }
    for (const auto& entry : tree->models) {
        auto m = d_->loadModel(entry.id);
        if (!m)
            return m.error();
        auto it = companyName.find(m->companyId);
        if (it == companyName.end())
            return Error{ErrorCode::Database,
                         QStringLiteral("型号 %1 的公司编号 %2 不存在，无法导出")
                             .arg(m->id)
                             .arg(m->companyId)};
        CatalogueSnapshot::Model out;
        out.company = it->second;
        out.input.name = m->name;
        out.input.baud = m->baud;
        out.input.parity = m->parity;
        out.input.ascii = m->ascii;
        out.input.codesStored = true;
        out.input.description = m->description;
        for (const auto& k : m->keys)
            out.input.keys.push_back({k.function, k.slot, k.code});
        s.models.push_back(std::move(out));
    }
    return s;
}

Status CatalogueDb::importSnapshot(const CatalogueSnapshot& snapshot) {
    if (!isOpen())
        return notFound();
    for (const QString& c : snapshot.companies) {
        if (auto r = checkLength(c, kMaxNameLength, QStringLiteral("公司名称")); !r)
            return r;
    }
    for (const auto& m : snapshot.models) {
        if (auto r = validateModelInput(m.input); !r)
            return Error{
                r.error().code,
                QStringLiteral("%1 / %2：%3").arg(m.company, m.input.name, r.error().message)};
    }
    return d_->transaction<void>([&]() -> Status {
        std::map<QString, int> ids;
        for (const QString& c : snapshot.companies) {
            auto id = d_->addCompany(c);
            if (!id)
                return Error{id.error().code, QStringLiteral("%1：%2").arg(c, id.error().message)};
            ids[c] = *id;
        }
        for (const auto& m : snapshot.models) {
            int companyId = 0;
            if (auto it = ids.find(m.company); it != ids.end()) {
                companyId = it->second;
            } else {
                auto found = d_->scalar(Stmt::CompanyIdByName, {m.company});
                if (!found)
                    return found.error();
                if (!*found)
                    return Error{ErrorCode::NoSuchCompany,
                                 QStringLiteral("没找到该公司：%1").arg(m.company)};
                companyId = **found;
            }
            auto id = d_->addModel(companyId, m.input);
            if (!id)
                return Error{
                    id.error().code,
                    QStringLiteral("%1 / %2：%3").arg(m.company, m.input.name, id.error().message)};
        }
        return {};
    });
}

} // namespace pj::catalogue

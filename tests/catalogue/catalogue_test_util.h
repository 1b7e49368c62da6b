#pragma once
// Helpers shared by the catalogue tests: a scratch folder, a catalogue in it,
// raw SQL on that catalogue behind the catalogue code's back, and a full dump
// of the three tables for comparing two catalogues.
//
// The tests run against the catalogue named by PJ_TEST_CATALOGUE:
//   sqlite       (the default) a catalogue file
//   sqlite-odbc  the same file through the SQLite ODBC driver
//   postgres     a database of its own per catalogue, on the PostgreSQL server
//                whose ODBC connection string (without Database=) is in
//                PJ_TEST_PG_ODBC; scripts/ci-postgres starts one
// Tests of what only a file has (damaged files, journals, file locks) skip
// on the others.

#include "catalogue/cataloguedb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <vector>

namespace pj::catalogue::test {

enum class Backend { Sqlite, SqliteOdbc, Postgres };

inline Backend testBackend() {
    const QByteArray b = qgetenv("PJ_TEST_CATALOGUE");
    if (b == "sqlite-odbc")
        return Backend::SqliteOdbc;
    if (b == "postgres")
        return Backend::Postgres;
    return Backend::Sqlite;
}

inline const char* backendName() {
    switch (testBackend()) {
    case Backend::SqliteOdbc:
        return "sqlite-odbc";
    case Backend::Postgres:
        return "postgres";
    default:
        return "sqlite";
    }
}

#define PJ_SKIP_UNLESS_FILE()                                                                      \
    do {                                                                                           \
        if (::pj::catalogue::test::testBackend() != ::pj::catalogue::test::Backend::Sqlite)        \
            GTEST_SKIP() << "a catalogue file's own behaviour; the tests run on "                  \
                         << ::pj::catalogue::test::backendName();                                  \
    } while (0)

// One connection, named and closed with its scope.
class Connection {
public:
    Connection(const QString& driver, const QString& database, const QString& options = {}) {
        static std::atomic<int> n{0};
        name_ = QStringLiteral("test_%1").arg(n++);
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
        db.setDatabaseName(database);
        if (!options.isEmpty())
            db.setConnectOptions(options);
        ok_ = db.open();
        if (!ok_)
            error_ = db.lastError().text();
    }
    ~Connection() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    bool ok() const { return ok_; }
    const QString& error() const { return error_; }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

private:
    QString name_, error_;
    bool ok_ = false;
};

// Catalogue locations for the backend under test: each one new and empty
// (not yet initialised); PostgreSQL databases are dropped with this object.
class TestCatalogues {
public:
    explicit TestCatalogues(const QString& dir)
        : dir_(dir) {}
    ~TestCatalogues() {
        for (const QString& name : databases_)
            serverExec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
    }

    CatalogueLocation fresh(const QString& stem) {
        const QString file = QDir(dir_).filePath(stem + QStringLiteral(".mdb"));
        switch (testBackend()) {
        case Backend::Sqlite:
            return {file, {}};
        case Backend::SqliteOdbc:
            return {file, QStringLiteral("DRIVER=SQLite3;Database=%1;Timeout=5000").arg(file)};
        case Backend::Postgres:
            break;
        }
        const QString name = newDatabaseName();
        EXPECT_TRUE(serverExec(QStringLiteral("CREATE DATABASE %1").arg(name)));
        return {file, QStringLiteral("%1;Database=%2").arg(server(), name)};
    }

    // A copy of a catalogue nobody is connected to.
    CatalogueLocation copy(const CatalogueLocation& from, const QString& stem) {
        CatalogueLocation to = fresh(stem);
        if (testBackend() != Backend::Postgres) {
            QFile::remove(to.file);
            EXPECT_TRUE(QFile::copy(from.file, to.file));
            return to;
        }
        const QString name = to.odbc.section(QStringLiteral("Database="), 1);
        EXPECT_TRUE(serverExec(QStringLiteral("DROP DATABASE %1").arg(name)));
        EXPECT_TRUE(serverExec(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2")
                                   .arg(name, from.odbc.section(QStringLiteral("Database="), 1))));
        return to;
    }

    // The server's connection string, without a database.
    static QString server() { return QString::fromLocal8Bit(qgetenv("PJ_TEST_PG_ODBC")); }

private:
    QString newDatabaseName() {
        const QString name = QStringLiteral("pjt_%1_%2_%3")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(QRandomGenerator::global()->generate() % 100000)
                                 .arg(databases_.size());
        databases_ << name;
        return name;
    }
    static bool serverExec(const QString& sql) {
        if (server().isEmpty()) {
            ADD_FAILURE() << "PJ_TEST_PG_ODBC is not set (scripts/ci-postgres sets it)";
            return false;
        }
        Connection c(QStringLiteral("QODBC"), server() + QStringLiteral(";Database=postgres"));
        if (!c.ok()) {
            ADD_FAILURE() << c.error().toStdString();
            return false;
        }
        QSqlQuery q(c.db());
        const bool ok = q.exec(sql);
        EXPECT_TRUE(ok) << q.lastError().text().toStdString() << " in " << sql.toStdString();
        return ok;
    }

    QString dir_;
    QStringList databases_;
};

// Raw access to a catalogue, for setting up states the operations would
// never produce and for reading the tables as they are.
class RawDb {
public:
    explicit RawDb(const QString& file)
        : RawDb(CatalogueLocation{file, {}}) {}
    explicit RawDb(const CatalogueLocation& where) {
        static std::atomic<int> n{0};
        name_ = QStringLiteral("raw_%1").arg(n++);
        QSqlDatabase db = QSqlDatabase::addDatabase(
            where.odbc.isEmpty() ? QStringLiteral("QSQLITE") : QStringLiteral("QODBC"), name_);
        db.setDatabaseName(where.odbc.isEmpty() ? where.file : where.odbc);
        if (where.odbc.isEmpty())
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    }
    ~RawDb() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    bool exec(const QString& sql, std::initializer_list<QVariant> values = {}) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.prepare(sql)) {
            ADD_FAILURE() << q.lastError().text().toStdString() << " in " << sql.toStdString();
            return false;
        }
        int i = 0;
        for (const auto& v : values)
            q.bindValue(i++, v);
        const bool ok = q.exec();
        EXPECT_TRUE(ok) << q.lastError().text().toStdString() << " in " << sql.toStdString();
        return ok;
    }

    // Every row of a table, columns joined, ordered by all columns.
    std::vector<std::string> rows(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        std::vector<std::string> out;
        while (q.next()) {
            QStringList cols;
            for (int i = 0; i < q.record().count(); ++i)
                cols << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            out.push_back(cols.join(QStringLiteral("|")).toStdString());
        }
        return out;
    }

    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

    // Takes the write lock as another program changing the catalogue would,
    // and keeps it until release(): SQLite's exclusive lock (readers wait
    // too), or on PostgreSQL a lock on COP that stops every writer.
    bool holdWriteLock() {
        if (testBackend() == Backend::Postgres) {
            QSqlDatabase d = db();
            return d.transaction() && exec(QStringLiteral("LOCK TABLE COP IN EXCLUSIVE MODE"));
        }
        return exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    void release() {
        if (testBackend() == Backend::Postgres)
            db().rollback();
        else
            exec(QStringLiteral("ROLLBACK"));
    }

    struct Dump {
        std::vector<std::string> cop, machine, funkey;
        bool operator==(const Dump&) const = default;
    };
    Dump dump() {
        return {rows(QStringLiteral("Select ID,COP From COP Order By ID,COP")),
                rows(QStringLiteral(
                    "Select ID,MODEL,CID,BAUD,DESCRIPT From MACHINE Order By ID,CID,MODEL")),
                rows(QStringLiteral("Select ID,\"FUNCTION\",FUNCODE,MID,TYPE,ISASCII,\"CHECK\" "
                                    "From FUNKEY Order By ID"))};
    }

private:
    QString name_;
};

inline void PrintTo(const RawDb::Dump& d, std::ostream* os) {
    for (const auto* t : {&d.cop, &d.machine, &d.funkey}) {
        *os << "\n--";
        for (const auto& r : *t)
            *os << "\n  " << r;
    }
}

// A scratch folder with an empty catalogue "projector.mdb" (or its database
// on the backend under test), connected.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        where_ = catalogues_.fresh(QStringLiteral("projector"));
        file_ = where_.file;
        ASSERT_TRUE(CatalogueDb::init(where_));
        ASSERT_TRUE(db_.connect(where_));
    }

    // Another empty catalogue, initialised.
    CatalogueLocation freshCatalogue(const char* stem) {
        CatalogueLocation w = catalogues_.fresh(QString::fromUtf8(stem));
        EXPECT_TRUE(CatalogueDb::init(w));
        return w;
    }

    QString path(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }

    int company(const QString& name) {
        auto id = db_.addCompany(name);
        EXPECT_TRUE(id) << (id ? "" : id.error().message.toStdString());
        return id ? *id : 0;
    }

    static ModelInput hexModel(const QString& name, int keys = 2) {
        ModelInput m;
        m.name = name;
        m.baud = 9600;
        for (int i = 0; i < keys; ++i)
            m.keys.push_back({QStringLiteral("k%1").arg(i), i % 18,
                              QStringLiteral("a0 %1 0d").arg(i % 256, 2, 16, QLatin1Char('0'))});
        return m;
    }

    int model(int companyId, const QString& name, int keys = 2) {
        auto id = db_.addModel(companyId, hexModel(name, keys));
        EXPECT_TRUE(id) << (id ? "" : id.error().message.toStdString());
        return id ? *id : 0;
    }

    void expectSound() {
        auto problems = db_.checkCatalogue();
        ASSERT_TRUE(problems);
        for (const auto& p : *problems)
            ADD_FAILURE() << p.message.toStdString();
    }

    QTemporaryDir dir_;
    TestCatalogues catalogues_{dir_.path()};
    CatalogueLocation where_;
    QString file_; // where_.file: the catalogue itself on a file backend
    CatalogueDb db_;
};

} // namespace pj::catalogue::test

#pragma once
// Helpers shared by the catalogue tests: a scratch folder, a catalogue file in
// it, raw SQL on that file behind the catalogue's back, and a full dump of the
// three tables for comparing two catalogues.

#include "catalogue/cataloguedb.h"

#include <QDir>
#include <QFile>
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

// Raw access to a catalogue file, for setting up states the operations would
// never produce and for reading the tables as they are.
class RawDb {
public:
    explicit RawDb(const QString& file) {
        static std::atomic<int> n{0};
        name_ = QStringLiteral("raw_%1").arg(n++);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(file);
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

// A scratch folder with an empty catalogue "projector.mdb", connected.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        file_ = dir_.filePath(QStringLiteral("projector.mdb"));
        ASSERT_TRUE(CatalogueDb::init({file_, {}}));
        ASSERT_TRUE(db_.connectFile(file_));
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
    QString file_;
    CatalogueDb db_;
};

} // namespace pj::catalogue::test

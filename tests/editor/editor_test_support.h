#pragma once
// Shared by the editing tests: a scratch catalogue file, raw SQL on it behind
// the catalogue's back (to make an operation fail halfway), and a comparison
// of what the browser holds with what the catalogue holds.

#include "catalogue/cataloguedb.h"
#include "link/state.h"
#include "shell/cataloguebrowser.h"
#include "shell/cataloguedbreader.h"
#include "shell/editor/catalogueediting.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <initializer_list>
#include <memory>

namespace pj::shell::test {

// A list of UTF-8 texts.
inline QStringList texts(std::initializer_list<const char*> items) {
    QStringList out;
    for (const char* s : items)
        out << QString::fromUtf8(s);
    return out;
}

// A new, empty catalogue file in `dir`; its path.
inline QString newCatalogue(const QTemporaryDir& dir) {
    const QString file = dir.filePath(QStringLiteral("projector.mdb"));
    if (!catalogue::CatalogueDb::init({file, {}}))
        qFatal("cannot create a scratch catalogue");
    return file;
}

// Runs one SQL text on the file through a connection of its own; the error
// text, empty on success.
inline QString rawSql(const QString& file, const QString& sql) {
    static std::atomic<int> n{0};
    const QString name = QStringLiteral("editor_test_raw_%1").arg(n++);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(sql))
                error = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// From now on, storing a key whose code text is `code` fails: a save that
// reaches that key fails halfway through its statements.
inline QString failKeyInserts(const QString& file, const QString& code) {
    return rawSql(file, QStringLiteral("Create Trigger fail_key Before Insert On FUNKEY "
                                       "When NEW.FUNCODE = '%1' "
                                       "Begin Select Raise(Abort, 'key refused'); End")
                            .arg(code));
}

// Companies and models as "id:name[model id:name@company id,...]", in the
// browser's order and in the catalogue's.
inline QStringList describe(const CatalogueBrowser& browser) {
    QStringList out;
    for (const CompanyNode& c : browser.companies()) {
        QStringList models;
        for (const ModelEntry& m : c.models)
            models << QStringLiteral("%1:%2@%3").arg(m.id).arg(m.name).arg(m.companyId);
        out << QStringLiteral("%1:%2[%3]").arg(c.id).arg(c.name, models.join(QLatin1Char(',')));
    }
    return out;
}

inline QStringList describe(catalogue::CatalogueDb& db) {
    QStringList out;
    auto tree = db.loadTree();
    if (!tree)
        return {QStringLiteral("<%1>").arg(tree.error().message)};
    for (const auto& c : tree->companies) {
        QStringList models;
        for (const auto& m : tree->models)
            if (m.companyId == c.id)
                models << QStringLiteral("%1:%2@%3").arg(m.id).arg(m.name).arg(m.companyId);
        out << QStringLiteral("%1:%2[%3]").arg(c.id).arg(c.name, models.join(QLatin1Char(',')));
    }
    return out;
}

// Every value of the catalogue, for "nothing was written".
inline QString everything(catalogue::CatalogueDb& db) {
    auto snapshot = db.exportSnapshot();
    if (!snapshot)
        return QStringLiteral("<%1>").arg(snapshot.error().message);
    QStringList out;
    for (const auto& c : snapshot->companies)
        out << c;
    for (const auto& m : snapshot->models) {
        const auto& in = m.input;
        QStringList keys;
        for (const auto& k : in.keys)
            keys << QStringLiteral("%1/%2/%3").arg(k.function).arg(k.slot).arg(k.code);
        out << QStringLiteral("%1:%2 %3 %4 %5 %6 {%7}")
                   .arg(m.company, in.name)
                   .arg(in.baud)
                   .arg(in.parity)
                   .arg(in.ascii)
                   .arg(in.description, keys.join(QLatin1Char(',')));
    }
    return out.join(QLatin1Char('\n'));
}

inline catalogue::ModelInput hexModel(const QString& name, int keys, int firstByte = 0xa0) {
    catalogue::ModelInput m;
    m.name = name;
    m.baud = 9600;
    for (int i = 0; i < keys; ++i)
        m.keys.push_back({QStringLiteral("键%1").arg(i), i % 18,
                          QStringLiteral("%1 %2 0d")
                              .arg(firstByte, 2, 16, QLatin1Char('0'))
                              .arg(i % 256, 2, 16, QLatin1Char('0'))});
    return m;
}

// A scratch catalogue with the browser over it.
struct Scratch {
    QTemporaryDir dir;
    QString file;
    catalogue::CatalogueDb db;
    std::unique_ptr<CatalogueDbReader> reader;
    link::SelectedModel selected;
    std::unique_ptr<CatalogueBrowser> browser;
    std::unique_ptr<CatalogueEditing> editing;

    // Companies A, B, C; models added in turns so that each company's models
    // lie spread over the ID range: a1 b1 c1 a2 b2 c2 (IDs 1..6).
    void open(bool withModels = true) {
        file = newCatalogue(dir);
        QVERIFY(db.connectFile(file));
        if (withModels) {
            for (const char* c : {"A", "B", "C"})
                QVERIFY(db.addCompany(QString::fromLatin1(c)));
            for (int n = 1; n <= 2; ++n)
                for (int c = 1; c <= 3; ++c)
                    QVERIFY(db.addModel(
                        c, hexModel(QStringLiteral("%1%2").arg(QChar(u'a' + c - 1)).arg(n), 2,
                                    0xa0 + c)));
        }
        reader = std::make_unique<CatalogueDbReader>(db);
        browser = std::make_unique<CatalogueBrowser>(*reader, selected);
        browser->build();
        editing = std::make_unique<CatalogueEditing>(db, *browser);
    }
};

} // namespace pj::shell::test

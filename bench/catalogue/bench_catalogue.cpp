// Catalogue timings on a large catalogue file: loading all tree rows,
// selecting one model, adding a model with 12 keys, deleting a company with
// 50 models, and the same delete done the old way (one delete-and-renumber
// pass per model) for comparison.
//
//   bench_catalogue [COMPANIES MODELS KEYS_PER_MODEL OLD_WAY_RUNS]   default 1000 20000 10 1
//   bench_catalogue --odbc CONNECTION [COMPANIES MODELS KEYS_PER_MODEL]
//
// With --odbc the same catalogue (the spread layout) is built on that ODBC
// source, which must hold no catalogue yet (a new PostgreSQL database, say),
// and the reads, an add and one company delete are measured there.

#include "catalogue/cataloguedb.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace pj::catalogue;

namespace {

double ms(QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

struct Stats {
    double median, min, max;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

void print(const char* what, const Stats& s, std::size_t runs, double target) {
    std::printf("%-44s median %8.2f ms  min %8.2f  max %8.2f  (%zu runs, target <= %g ms)\n", what,
                s.median, s.min, s.max, runs, target);
}

[[noreturn]] void die(const QString& why) {
    std::fprintf(stderr, "bench_catalogue: %s\n", why.toUtf8().constData());
    std::exit(1);
}

// The company delete as the catalogue used to do it: select the company's
// first model, delete its keys, renumber the keys above, delete it, renumber
// the models above; again until none is left; then the company itself. Run
// in one transaction, so that only the statements are compared.
double onePassPerModelDelete(const QString& file, int k) {
    double elapsed = 0;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reference"));
        db.setDatabaseName(file);
        if (!db.open())
            die(QStringLiteral("cannot open the copy"));
        QSqlQuery q(db);
        QElapsedTimer t;
        t.start();
        q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        const auto run = [&](const char* sql, int v) {
            QSqlQuery s(db);
            s.prepare(QString::fromLatin1(sql));
            s.addBindValue(v);
            if (!s.exec())
                die(s.lastError().text());
        };
        for (;;) {
            QSqlQuery first(db);
            first.prepare(QStringLiteral("Select ID From MACHINE Where CID=?"));
            first.addBindValue(k);
            first.exec();
            if (!first.next())
                break;
            const int m = first.value(0).toInt();
            first.finish();
            run("Delete From FUNKEY Where MID=?", m);
            run("Update FUNKEY Set MID=MID-1 Where MID>?", m);
            run("Delete From MACHINE Where ID=?", m);
            run("Update MACHINE Set ID=ID-1 Where ID>?", m);
        }
        run("Delete From COP Where ID=?", k);
        run("Update MACHINE Set CID=CID-1 Where CID>?", k);
        run("Update COP Set ID=ID-1 Where ID>?", k);
        q.exec(QStringLiteral("COMMIT"));
        elapsed = ms(t);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reference"));
    return elapsed;
}

struct Built {
    QString file;
    CatalogueSnapshot snapshot;
    int targetModels = 0;
};

// Models go to random companies, as they are added over the years, and the
// target company gets 50 of them spread over the whole ID range; or, with
// `contiguous`, every company's models lie together (a catalogue entered maker
// by maker) and the target company's 50 sit in the middle.
Built buildCatalogue(const CatalogueLocation& where, int companies, int models, int keysPerModel,
                     int target, bool contiguous) {
    const int targetModels = 50;
    const QString file = where.file;
    if (auto r = CatalogueDb::init(where); !r)
        die(QStringLiteral("init failed: ") + r.error().message);
    std::mt19937 rng(1);
    Built b;
    b.file = file;
    CatalogueSnapshot& s = b.snapshot;
    for (int c = 1; c <= companies; ++c)
        s.companies.push_back(QStringLiteral("厂家 %1").arg(c));
    std::vector<int> owner(static_cast<std::size_t>(models));
    for (auto& o : owner) {
        do
            o = 1 + static_cast<int>(rng() % static_cast<unsigned>(companies));
        while (o == target);
    }
    if (contiguous) {
        std::sort(owner.begin(), owner.end());
        const auto at = std::lower_bound(owner.begin(), owner.end(), target) - owner.begin();
        owner.erase(owner.begin() + at, owner.begin() + at + targetModels);
        owner.insert(owner.begin() + at, targetModels, target);
    } else {
        for (int i = 0; i < targetModels; ++i)
            owner[static_cast<std::size_t>(rng() % static_cast<unsigned>(models))] = target;
    }
    for (int m = 0; m < models; ++m) {
        CatalogueSnapshot::Model model;
        model.company = s.companies[static_cast<std::size_t>(owner[m] - 1)];
        model.input.name = QStringLiteral("型号 %1").arg(m + 1);
        model.input.baud = 9600;
        model.input.codesStored = true;
        model.input.description = QStringLiteral("说明 %1").arg(m + 1);
        for (int k = 0; k < keysPerModel; ++k)
            model.input.keys.push_back(
                {QStringLiteral("键 %1").arg(k), k % 18,
                 QStringLiteral("a0 %1 0d").arg(k % 100, 2, 10, QLatin1Char('0'))});
        s.models.push_back(std::move(model));
    }
    QElapsedTimer build;
    build.start();
    {
        CatalogueDb db;
        if (!db.connect(where))
            die(QStringLiteral("connect failed"));
        if (auto r = db.importSnapshot(s); !r)
            die(r.error().message);
    }
    b.targetModels = static_cast<int>(std::count(owner.begin(), owner.end(), target));
    std::printf("catalogue (%s%s): %d companies, %d models, %d keys (built in %.0f ms, %.1f MB); "
                "company %d has %d models\n",
                contiguous ? "contiguous" : "spread", where.odbc.isEmpty() ? "" : ", ODBC",
                companies, models, models * keysPerModel, ms(build),
                where.odbc.isEmpty() ? static_cast<double>(QFile(file).size()) / 1e6 : 0.0, target,
                b.targetModels);
    return b;
}

// Deletes the company on fresh copies of the file, the set-based way and the
// old way, and a single update of every key row above the first removed
// model (the floor: the rows that must change, changed once).
void benchDelete(const Built& b, const QString& work, int target, const char* label, int oldRuns) {
    std::vector<double> del, reference, floor;
    int firstRemoved = 0;
    for (int i = 0; i < 5; ++i) {
        QFile::remove(work);
        QFile::copy(b.file, work);
        CatalogueDb w;
        if (!w.connectFile(work))
            die(QStringLiteral("connect copy"));
        auto ms0 = w.modelsOfCompany(target);
        if (!ms0 || ms0->empty())
            die(QStringLiteral("no models"));
        firstRemoved = ms0->front().id;
        QElapsedTimer t;
        t.start();
        auto r = w.deleteCompany(target);
        del.push_back(ms(t));
        if (!r)
            die(r.error().message);
    }
    long long moved = 0;
    for (int i = 0; i < 3; ++i) {
        QFile::remove(work);
        QFile::copy(b.file, work);
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("floor"));
            db.setDatabaseName(work);
            db.open();
            QSqlQuery q(db);
            q.exec(QStringLiteral("BEGIN IMMEDIATE"));
            QElapsedTimer t;
            t.start();
            q.prepare(QStringLiteral("Update FUNKEY Set MID=MID-1 Where MID>?"));
            q.addBindValue(firstRemoved);
            q.exec();
            moved = q.numRowsAffected();
            q.exec(QStringLiteral("COMMIT"));
            floor.push_back(ms(t));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("floor"));
    }
    for (int i = 0; i < oldRuns; ++i) {
        QFile::remove(work);
        QFile::copy(b.file, work);
        reference.push_back(onePassPerModelDelete(work, target));
    }
    char what[128];
    std::snprintf(what, sizeof what, "delete company, 50 models (%s)", label);
    print(what, stats(del), del.size(), 150);
    std::snprintf(what, sizeof what, "  floor: one update of %lld key rows", moved);
    print(what, stats(floor), floor.size(), 0);
    if (oldRuns > 0) {
        std::snprintf(what, sizeof what, "  old way, one pass per model (%s)", label);
        print(what, stats(reference), reference.size(), 0);
        std::printf("  ratio old way / set-based delete (medians): %.1f\n",
                    stats(reference).median / stats(del).median);
    }
}

// The tree, model selects by ID and by name, and adding a model with 12 keys.
void measureReadsAndAdd(CatalogueDb& db, const CatalogueSnapshot& s, int models, int keysPerModel) {
    std::mt19937 rng(2);
    std::vector<double> tree;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        auto r = db.loadTree();
        tree.push_back(ms(t));
        if (!r || r->models.size() != static_cast<std::size_t>(models))
            die(QStringLiteral("tree"));
    }
    print("tree rows (all companies and models)", stats(tree), tree.size(), 150);
    {
        // The tree's names as imported, in order.
        auto r = db.loadTree();
        for (std::size_t i = 0; r && i < s.models.size(); ++i)
            if (r->models[i].name != s.models[i].input.name)
                die(QStringLiteral("tree: model %1 reads as %2").arg(i + 1).arg(r->models[i].name));
    }

    std::vector<double> all;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        auto r = db.loadAllModels();
        all.push_back(ms(t));
        if (!r || r->size() != static_cast<std::size_t>(models) ||
            r->back().keys.size() != static_cast<std::size_t>(keysPerModel))
            die(QStringLiteral("all models"));
    }
    print("every model whole in one read", stats(all), all.size(), 1000);

    std::vector<double> select;
    for (int i = 0; i < 300; ++i) {
        const int id = 1 + static_cast<int>(rng() % static_cast<unsigned>(models));
        QElapsedTimer t;
        t.start();
        auto r = db.loadModel(id);
        select.push_back(ms(t));
        if (!r || r->keys.size() != static_cast<std::size_t>(keysPerModel))
            die(QStringLiteral("select"));
    }
    print("model select (row, speed, description, keys)", stats(select), select.size(), 5);

    // Lookups by name as the browser does them.
    std::vector<double> byName;
    for (int i = 0; i < 300; ++i) {
        const int m = static_cast<int>(rng() % static_cast<unsigned>(models));
        QElapsedTimer t;
        t.start();
        auto c = db.findCompany(s.models[static_cast<std::size_t>(m)].company);
        auto id = c ? db.findModel(*c, s.models[static_cast<std::size_t>(m)].input.name)
                    : Result<int>(c.error());
        auto r = id ? db.loadModel(*id) : Result<ModelRecord>(id.error());
        byName.push_back(ms(t));
        if (!r)
            die(QStringLiteral("select by name"));
    }
    print("model select by company and model name", stats(byName), byName.size(), 5);

    std::vector<double> add;
    for (int i = 0; i < 30; ++i) {
        ModelInput in;
        in.name = QStringLiteral("新型号 %1").arg(i);
        in.ascii = true;
        for (int k = 0; k < 12; ++k)
            in.keys.push_back(
                {QStringLiteral("键 %1").arg(k), k, QStringLiteral("PWR ON %1").arg(k)});
        QElapsedTimer t;
        t.start();
        auto r = db.addModel(1 + i, in);
        add.push_back(ms(t));
        if (!r)
            die(r.error().message);
    }
    print("add model with 12 keys (one transaction)", stats(add), add.size(), 20);

    // What a window asks on activation to know whether to reload.
    std::vector<double> stamp;
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer t;
        t.start();
        auto r = db.changeStamp();
        stamp.push_back(ms(t));
        if (!r)
            die(r.error().message);
    }
    print("change stamp", stats(stamp), stamp.size(), 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && QByteArray(argv[1]) == "--odbc") {
        const CatalogueLocation where{QString(), QString::fromLocal8Bit(argv[2])};
        const int companies = argc > 3 ? std::atoi(argv[3]) : 1000;
        const int models = argc > 4 ? std::atoi(argv[4]) : 20000;
        const int keysPerModel = argc > 5 ? std::atoi(argv[5]) : 10;
        const int target = companies / 2;
        const Built b = buildCatalogue(where, companies, models, keysPerModel, target, false);
        CatalogueDb db;
        if (!db.connect(where))
            die(QStringLiteral("connect failed"));
        std::printf("engine: %s\n", db.engine() == Engine::PostgreSql ? "PostgreSQL" : "other");
        measureReadsAndAdd(db, b.snapshot, models, keysPerModel);
        QElapsedTimer t;
        t.start();
        if (auto r = db.deleteCompany(target); !r)
            die(r.error().message);
        print("delete company, 50 models (spread, 1 run)", stats({ms(t)}), 1, 150);
        return 0;
    }

    const int companies = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int models = argc > 2 ? std::atoi(argv[2]) : 20000;
    const int keysPerModel = argc > 3 ? std::atoi(argv[3]) : 10;
    const int oldRuns = argc > 4 ? std::atoi(argv[4]) : 1;
    const int target = companies / 2; // the company deleted, in the middle

    QTemporaryDir dir;
    const Built spread = buildCatalogue({dir.filePath(QStringLiteral("spread.mdb")), {}}, companies,
                                        models, keysPerModel, target, false);
    const Built contiguous = buildCatalogue({dir.filePath(QStringLiteral("contiguous.mdb")), {}},
                                            companies, models, keysPerModel, target, true);
    const QString base = spread.file;
    const CatalogueSnapshot& s = spread.snapshot;
    CatalogueDb db;
    if (!db.connectFile(base))
        die(QStringLiteral("connect failed"));

    measureReadsAndAdd(db, s, models, keysPerModel);
    db.close();

    const QString work = dir.filePath(QStringLiteral("work.mdb"));
    benchDelete(spread, work, target, "spread", oldRuns);
    benchDelete(contiguous, work, target, "contiguous", oldRuns);
    return 0;
}

// One of several programs changing one catalogue at the same time, for the
// concurrency test: random adds, modifies and deletes of companies and models
// for a while, each through the operations that take what was read. Every
// change that went through is written to the log, one line each:
//   +C company            -C company
//   +M company model      -M company model      ~M company model
// Names carry the worker's tag and a counter, so no name is ever used twice.
// A model's keys are all named after the model.
//
//   catalogue_stress_worker (--file PATH | --odbc STRING) TAG SECONDS SEED LOG
//
// Exit status 0 unless an operation failed for another reason than a refusal
// the race explains (the other worker deleted, renamed or changed the row).

#include "catalogue/cataloguedb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <random>
#include <string>

using namespace pj::catalogue;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s --file PATH|--odbc STRING TAG SECONDS SEED LOG\n", argv[0]);
        return 2;
    }
    CatalogueLocation where;
    if (std::string(argv[1]) == "--odbc")
        where.odbc = QString::fromLocal8Bit(argv[2]);
    else
        where.file = QString::fromLocal8Bit(argv[2]);
    const QString tag = QString::fromLocal8Bit(argv[3]);
    const int seconds = std::atoi(argv[4]);
    std::mt19937 rng(static_cast<unsigned>(std::atoi(argv[5])));
    QFile logFile(QString::fromLocal8Bit(argv[6]));
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 2;
    QTextStream log(&logFile);

    CatalogueDb db;
    db.setBusyTimeout(20000);
    if (auto r = db.connect(where); !r) {
        std::fprintf(stderr, "%s: %s\n", argv[3], r.error().message.toUtf8().constData());
        return 1;
    }
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    int counter = 0, done = 0, raced = 0, failures = 0;
    const auto outcome = [&](const Error& e) {
        // The other worker got there first: the row is gone, renamed or changed.
        if (e.code == ErrorCode::Conflict || e.code == ErrorCode::NoSuchModel ||
            e.code == ErrorCode::NoSuchCompany) {
            ++raced;
            return;
        }
        ++failures;
        std::fprintf(stderr, "%s: %s\n", argv[3], e.message.toUtf8().constData());
    };
    const auto keysFor = [&](const QString& model, ModelInput& in) {
        in.keys.clear();
        for (std::size_t k = 0, n = 1 + pick(4); k < n; ++k)
            in.keys.push_back({model, static_cast<int>(k),
                               QStringLiteral("a0 %1 0d").arg(k, 2, 10, QLatin1Char('0'))});
    };

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        auto tree = db.loadTree();
        if (!tree) {
            outcome(tree.error());
            continue;
        }
        const auto& companies = tree->companies;
        const auto& models = tree->models;
        const int op = static_cast<int>(pick(100));
        if (op < 10 || companies.empty()) {
            const QString name = QStringLiteral("%1-c%2").arg(tag).arg(++counter);
            if (auto r = db.addCompany(name); r) {
                log << "+C " << name << '\n';
                ++done;
            } else {
                outcome(r.error());
            }
        } else if (op < 55 || models.empty()) {
            const CompanyEntry& c = companies[pick(companies.size())];
            ModelInput in;
            in.name = QStringLiteral("%1-m%2").arg(tag).arg(++counter);
            in.baud = 9600;
            keysFor(in.name, in);
            if (auto r = db.addModel(c, in); r) {
                log << "+M " << c.name << ' ' << in.name << '\n';
                ++done;
            } else {
                outcome(r.error());
            }
        } else if (op < 95) {
            auto m = db.loadModel(models[pick(models.size())].id);
            if (!m) {
                outcome(m.error());
                continue;
            }
            if (op < 85) {
                if (auto r = db.deleteModel(*m); r) {
                    log << "-M " << m->companyName << ' ' << m->name << '\n';
                    ++done;
                } else {
                    outcome(r.error());
                }
            } else {
                ModelInput in;
                in.name = m->name;
                in.baud = 19200;
                keysFor(m->name, in);
                if (auto r = db.modifyModel(*m, in); r) {
                    log << "~M " << m->companyName << ' ' << m->name << '\n';
                    ++done;
                } else {
                    outcome(r.error());
                }
            }
        } else {
            const CompanyEntry& c = companies[pick(companies.size())];
            if (auto r = db.deleteCompany(c); r) {
                log << "-C " << c.name << '\n';
                ++done;
            } else {
                outcome(r.error());
            }
        }
        log.flush();
    }
    std::fprintf(stderr, "%s: %d changes, %d refused by the race, %d failed\n", argv[3], done,
                 raced, failures);
    return failures == 0 ? 0 : 1;
}

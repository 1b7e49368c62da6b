// Lint of a large catalogue against the delivered framing rules: the checker
// alone over models in memory, and `projector-cli catalogue lint` end to end
// on a catalogue file (reading every model included).
//
//   bench_lint [MODELS KEYS_PER_MODEL RUNS]   default 20000 10 5
//
// The models copy the delivered catalogue's 32 models (their makers, names
// and codes) over 1,000 companies; one code in 200 has a byte changed.

#include "catalogue/cataloguedb.h"
#include "cli/command.h"
#include "codecheck/lint.h"
#include "codecheck/load.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <time.h>

using namespace pj::catalogue;
namespace cc = pj::codecheck;

namespace {

double ms(QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// CPU time of the process in ms: on a machine shared with other builds the
// wall time also counts the waits for a core.
double cpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

[[noreturn]] void die(const QString& why) {
    std::fprintf(stderr, "bench_lint: %s\n", why.toUtf8().constData());
    std::exit(1);
}

struct Template {
    QString company;
    ModelRecord model;
};

std::vector<Template> deliveredModels() {
    CatalogueDb db;
    if (auto r = db.connectFile(QStringLiteral(PJ_DELIVERED_CATALOGUE)); !r)
        die(r.error().message);
    auto tree = db.loadTree();
    if (!tree)
        die(tree.error().message);
    std::vector<Template> out;
    for (const auto& m : tree->models) {
        auto record = db.loadModel(m.id);
        if (!record)
            die(record.error().message);
        out.push_back({tree->companies[static_cast<std::size_t>(m.companyId - 1)].name, *record});
    }
    return out;
}

// One byte of the code text changed (the last one), as a slip of the hand.
QString corrupt(const QString& code) {
    QString c = code;
    const QChar last = c.back();
    c.back() = last == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    return c;
}

CatalogueSnapshot makeSnapshot(const std::vector<Template>& templates, int models, int keys) {
    constexpr int kCompanies = 1000;
    CatalogueSnapshot s;
    for (int c = 0; c < kCompanies; ++c)
        s.companies.push_back(
            QStringLiteral("%1 %2")
                .arg(templates[static_cast<std::size_t>(c) % templates.size()].company)
                .arg(c));
    int code = 0;
    for (int i = 0; i < models; ++i) {
        const int c = i % kCompanies;
        const Template& t = templates[static_cast<std::size_t>(c) % templates.size()];
        CatalogueSnapshot::Model m;
        m.company = s.companies[static_cast<std::size_t>(c)];
        m.input.name =
            i < kCompanies ? t.model.name : QStringLiteral("%1 #%2").arg(t.model.name).arg(i);
        m.input.baud = t.model.baud;
        m.input.parity = t.model.parity;
        m.input.ascii = t.model.ascii;
        m.input.codesStored = true;
        for (int k = 0; k < keys; ++k) {
            const KeyRecord& key = t.model.keys[static_cast<std::size_t>(k) % t.model.keys.size()];
            const bool broken = ++code % 200 == 0;
            m.input.keys.push_back({key.function, key.slot, broken ? corrupt(key.code) : key.code});
        }
        s.models.push_back(std::move(m));
    }
    return s;
}

std::vector<cc::LintModel> inMemory(const CatalogueSnapshot& s) {
    std::vector<cc::LintModel> out;
    for (const auto& m : s.models) {
        cc::LintModel lm{m.company.toStdString(), m.input.name.toStdString(), {}};
        for (const auto& k : m.input.keys)
            lm.keys.push_back(
                {k.function.toStdString(), k.slot, k.code.toStdString(), m.input.ascii});
        out.push_back(std::move(lm));
    }
    return out;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int models = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int keys = argc > 2 ? std::atoi(argv[2]) : 10;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    if (models <= 0 || keys <= 0 || runs <= 0)
        die(QStringLiteral("用法: bench_lint [MODELS KEYS_PER_MODEL RUNS]"));
    qunsetenv("PROJECTOR_CATALOGUE");
    qunsetenv(cc::kRulesEnv);

    const auto templates = deliveredModels();
    const CatalogueSnapshot snapshot = makeSnapshot(templates, models, keys);

    // The checker alone.
    QElapsedTimer t;
    t.start();
    const cc::LoadedRules rules = cc::loadRules();
    const double loadMs = ms(t);
    if (!rules.ok())
        die(QString::fromStdString(rules.errors.front()));
    const cc::Checker checker(rules.rules);
    const auto lintModels = inMemory(snapshot);
    std::vector<double> memory, memoryCpu;
    cc::LintResult result;
    for (int r = 0; r < runs; ++r) {
        const double cpu = cpuMs();
        t.restart();
        result = cc::lintModels(checker, lintModels);
        memory.push_back(ms(t));
        memoryCpu.push_back(cpuMs() - cpu);
    }
    std::printf("rules: %zu rules read and compiled in %.2f ms\n", rules.rules->rules().size(),
                loadMs);
    std::printf("checker alone: %d models, %zu codes checked, %zu broken, %zu models unchecked: "
                "median %.1f ms (CPU %.1f ms), min %.1f, max %.1f (%d runs)\n",
                models, result.codes, result.problems.size(), result.unchecked.size(),
                median(memory), median(memoryCpu), *std::min_element(memory.begin(), memory.end()),
                *std::max_element(memory.begin(), memory.end()), runs);

    // The command, on a catalogue file.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("projector.mdb"));
    if (auto r = CatalogueDb::init({file, {}}); !r)
        die(r.error().message);
    {
        CatalogueDb db;
        if (auto r = db.connectFile(file); !r)
            die(r.error().message);
        if (auto r = db.importSnapshot(snapshot); !r)
            die(r.error().message);
    }
    // Reading alone, as the command does: the tree, then each model whole.
    {
        t.restart();
        double cpu = cpuMs();
        CatalogueDb db;
        if (auto r = db.connectFile(file); !r)
            die(r.error().message);
        const double connectMs = ms(t), connectCpu = cpuMs() - cpu;
        t.restart();
        cpu = cpuMs();
        auto tree = db.loadTree();
        const double treeMs = ms(t), treeCpu = cpuMs() - cpu;
        t.restart();
        cpu = cpuMs();
        std::size_t read = 0;
        for (const auto& m : tree->models)
            read += db.loadModel(m.id)->keys.size();
        std::printf("reading the catalogue: connect %.1f ms (CPU %.1f), tree %.1f ms (CPU %.1f), "
                    "%zu models one by one %.1f ms (CPU %.1f; %zu keys)\n",
                    connectMs, connectCpu, treeMs, treeCpu, tree->models.size(), ms(t),
                    cpuMs() - cpu, read);
        // What the command does now: every model whole in one read.
        t.restart();
        cpu = cpuMs();
        auto all = db.loadAllModels();
        if (!all)
            die(all.error().message);
        std::size_t bulk = 0;
        for (const auto& m : *all)
            bulk += m.keys.size();
        std::printf("reading the catalogue: %zu models in one read (loadAllModels) %.1f ms "
                    "(CPU %.1f; %zu keys)\n",
                    all->size(), ms(t), cpuMs() - cpu, bulk);
        if (bulk != read)
            die(QStringLiteral("the bulk read gave another number of keys"));
    }
    // The floor for reading: every key row in one pass, straight through
    // QtSql (what a bulk read of the catalogue would cost).
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("floor"));
        db.setDatabaseName(file);
        if (!db.open())
            die(QStringLiteral("floor: cannot open"));
        t.restart();
        const double cpu = cpuMs();
        std::size_t rows = 0, chars = 0;
        {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.exec(QStringLiteral(
                "Select MID,FUNCTION,FUNCODE,TYPE,ISASCII From FUNKEY Order By MID,ID"));
            while (q.next()) {
                ++rows;
                chars += static_cast<std::size_t>(q.value(2).toString().size());
            }
        }
        std::printf("floor: all %zu key rows in one query %.1f ms (CPU %.1f; %zu code chars)\n",
                    rows, ms(t), cpuMs() - cpu, chars);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("floor"));

    std::vector<double> command, commandCpu;
    std::size_t lines = 0;
    int exitCode = -1;
    for (int r = 0; r < runs; ++r) {
        std::ostringstream out, err;
        std::istringstream in;
        pj::cli::Io io{out, err, in};
        const double cpu = cpuMs();
        t.restart();
        exitCode = pj::cli::runCli({"catalogue", "--catalogue", file.toStdString(), "lint"}, io);
        command.push_back(ms(t));
        commandCpu.push_back(cpuMs() - cpu);
        const std::string text = out.str();
        lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }
    std::printf("projector-cli catalogue lint: %.1f MB file, exit %d, %zu lines: median %.1f ms "
                "(CPU %.1f ms), min %.1f, max %.1f (%d runs; target <= 1000 ms)\n",
                static_cast<double>(QFile(file).size()) / 1e6, exitCode, lines, median(command),
                median(commandCpu), *std::min_element(command.begin(), command.end()),
                *std::max_element(command.begin(), command.end()), runs);
    return 0;
}

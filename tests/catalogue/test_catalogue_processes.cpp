// Several processes on one catalogue: a company delete killed at random
// moments leaves the catalogue exactly as before or exactly as after; two
// processes changing it at the same time both get their changes in; and two
// processes adding and deleting at random for a while keep the numbering
// dense and lose nothing.

#include "catalogue_test_util.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>

extern char** environ;

namespace pj::catalogue::test {
namespace {

// Runs a program with this process's environment; PROJECTOR_CATALOGUE is
// set when `odbc` is not empty.
pid_t spawn(const char* program, const std::vector<std::string>& args,
            const QString& odbc = QString()) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind(std::string(kCatalogueEnv) + "=", 0) != 0)
            env.emplace_back(*e);
    }
    if (!odbc.isEmpty())
        env.push_back(std::string(kCatalogueEnv) + "=" + odbc.toStdString());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program, &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    EXPECT_EQ(rc, 0);
    return pid;
}

pid_t spawnCli(const std::vector<std::string>& args, const QString& odbc = QString()) {
    return spawn(PJ_CLI_PATH, args, odbc);
}

int waitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class Processes : public CatalogueFixture {
protected:
    void SetUp() override {
        ::unsetenv(kCatalogueEnv);
        CatalogueFixture::SetUp();
    }
};

TEST_F(Processes, KilledCompanyDeleteLeavesBeforeOrAfter) {
    PJ_SKIP_UNLESS_FILE();
    // Companies around one large company whose models are spread over the
    // whole ID range, so that the delete renumbers in many runs.
    CatalogueSnapshot s;
    for (int c = 0; c < 30; ++c)
        s.companies.push_back(QStringLiteral("company %1").arg(c));
    for (int m = 0; m < 1500; ++m) {
        CatalogueSnapshot::Model model;
        model.company = m % 3 == 0 ? s.companies[15] : s.companies[m % 30];
        model.input.name = QStringLiteral("model %1").arg(m);
        model.input.codesStored = true;
        for (int k = 0; k < 12; ++k)
            model.input.keys.push_back(
                {QStringLiteral("key %1").arg(k), k, QStringLiteral("a0 0%1 0d").arg(k % 10)});
        s.models.push_back(std::move(model));
    }
    ASSERT_TRUE(db_.importSnapshot(s));
    db_.close();
    const QString base = path("base.mdb");
    ASSERT_TRUE(QFile::copy(file_, base));
    RawDb::Dump before, after;
    {
        RawDb raw(base);
        before = raw.dump();
    }
    {
        CatalogueDb db;
        ASSERT_TRUE(db.connectFile(file_));
        ASSERT_TRUE(db.deleteCompany(16));
        RawDb raw(file_);
        after = raw.dump();
    }
    ASSERT_NE(before, after);

    const QString work = path("work.mdb");
    const std::vector<std::string> args = {"catalogue", "--catalogue", work.toStdString(),
                                           "delete-company", "company 15"};
    // How long a whole run takes, start-up included.
    QFile::remove(work);
    ASSERT_TRUE(QFile::copy(base, work));
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(waitExit(spawnCli(args)), 0);
    const qint64 fullUs = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);

    std::mt19937 rng(42);
    int killedInside = 0, sawBefore = 0, sawAfter = 0, attempts = 0;
    while (attempts < 80 && (killedInside < 5 || attempts < 16)) {
        ++attempts;
        QFile::remove(work);
        QFile::remove(work + QStringLiteral("-journal"));
        ASSERT_TRUE(QFile::copy(base, work));
        const pid_t pid = spawnCli(args);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % (fullUs * 6 / 5)));
        ::kill(pid, SIGKILL);
        waitExit(pid);
        const QFileInfo journal(work + QStringLiteral("-journal"));
        if (journal.exists() && journal.size() > 0)
            ++killedInside;
        CatalogueDb db;
        ASSERT_TRUE(db.connectFile(work)) << "attempt " << attempts;
        auto problems = db.checkCatalogue();
        ASSERT_TRUE(problems);
        EXPECT_TRUE(problems->empty()) << "attempt " << attempts;
        db.close();
        RawDb raw(work);
        const auto now = raw.dump();
        if (now == before)
            ++sawBefore;
        else if (now == after)
            ++sawAfter;
        else
            FAIL() << "attempt " << attempts << ": neither before nor after";
    }
    std::printf("kill attempts %d: inside the transaction %d, before %d, after %d\n", attempts,
                killedInside, sawBefore, sawAfter);
    EXPECT_GT(killedInside, 0) << "no kill landed inside the delete";
}

TEST_F(Processes, TwoProcessesChangingTheFileBothSucceed) {
    company(QStringLiteral("A"));
    company(QStringLiteral("B"));
    db_.close();
    std::vector<pid_t> pids;
    for (int i = 0; i < 12; ++i) {
        for (const char* c : {"A", "B"}) {
            pids.push_back(spawnCli({"catalogue", "--catalogue", file_.toStdString(), "add-model",
                                     c, "m" + std::to_string(i), "--baud", "9600", "--key",
                                     "k:1:aa bb", "--key", "k2:2:cc"},
                                    where_.odbc));
        }
        if (i == 6)
            pids.push_back(
                spawnCli({"catalogue", "--catalogue", file_.toStdString(), "add-company", "C"},
                         where_.odbc));
    }
    for (pid_t p : pids)
        EXPECT_EQ(waitExit(p), 0);
    ASSERT_TRUE(db_.connect(where_));
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->companies.size(), 3u);
    EXPECT_EQ(tree->models.size(), 24u);
    for (const auto& m : tree->models)
        EXPECT_EQ(db_.loadModel(m.id)->keys.size(), 2u);
    expectSound();
}

// The changes one worker logged.
struct WorkerLog {
    std::vector<QStringList> lines;
};

WorkerLog readLog(const QString& path) {
    WorkerLog log;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (!line.isEmpty())
            log.lines.push_back(line.split(QLatin1Char(' ')));
    }
    return log;
}

TEST_F(Processes, TwoProcessesAddingAndDeletingAtRandomKeepNumberingDenseAndLoseNothing) {
    // Some companies and models to start from; names never come back.
    std::set<QString> companies;
    std::map<QString, QString> models; // model -> company
    for (int c = 0; c < 4; ++c) {
        const QString name = QStringLiteral("base-c%1").arg(c);
        company(name);
        companies.insert(name);
    }
    for (int m = 0; m < 12; ++m) {
        ModelInput in;
        in.name = QStringLiteral("base-m%1").arg(m);
        in.keys = {{in.name, 0, QStringLiteral("aa")}, {in.name, 1, QStringLiteral("bb")}};
        const QString owner = QStringLiteral("base-c%1").arg(m % 4);
        ASSERT_TRUE(db_.addModel(*db_.findCompany(owner), in));
        models[in.name] = owner;
    }
    db_.close();

    const int seconds = std::max(1, qEnvironmentVariableIntValue("PJ_STRESS_SECONDS") > 0
                                        ? qEnvironmentVariableIntValue("PJ_STRESS_SECONDS")
                                        : 3);
    const std::vector<std::string> location =
        where_.odbc.isEmpty() ? std::vector<std::string>{"--file", file_.toStdString()}
                              : std::vector<std::string>{"--odbc", where_.odbc.toStdString()};
    std::vector<pid_t> pids;
    std::vector<QString> logs;
    for (const char* tag : {"w1", "w2"}) {
        logs.push_back(path(tag) + QStringLiteral(".log"));
        std::vector<std::string> args = location;
        args.insert(args.end(), {tag, std::to_string(seconds), tag[1] == '1' ? "11" : "22",
                                 logs.back().toStdString()});
        pids.push_back(spawn(PJ_STRESS_WORKER_PATH, args));
    }
    for (pid_t p : pids)
        EXPECT_EQ(waitExit(p), 0) << "a worker failed (its stderr says why)";

    // What must be there: every company and model added and not deleted; a
    // model goes with its company (an add to a company already deleted is
    // refused, so the order of the two workers' changes does not matter).
    std::size_t changes = 0;
    for (const QString& l : logs) {
        const WorkerLog log = readLog(l);
        changes += log.lines.size();
        for (const QStringList& w : log.lines) {
            if (w[0] == QLatin1String("+C"))
                companies.insert(w[1]);
            else if (w[0] == QLatin1String("+M"))
                models[w[2]] = w[1];
        }
    }
    for (const QString& l : logs) {
        for (const QStringList& w : readLog(l).lines) {
            if (w[0] == QLatin1String("-C"))
                companies.erase(w[1]);
            else if (w[0] == QLatin1String("-M"))
                models.erase(w[2]);
        }
    }
    std::erase_if(models, [&](const auto& m) { return !companies.count(m.second); });
    EXPECT_GT(changes, 20u) << "the workers hardly ran";

    ASSERT_TRUE(db_.connect(where_));
    expectSound(); // dense numbering, no dangling row
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    std::set<QString> haveCompanies;
    std::map<int, QString> companyById;
    for (const auto& c : tree->companies) {
        haveCompanies.insert(c.name);
        companyById[c.id] = c.name;
    }
    EXPECT_EQ(haveCompanies, companies);
    std::map<QString, QString> haveModels;
    for (const auto& m : tree->models) {
        haveModels[m.name] = companyById[m.companyId];
        // The keys moved with their model through every renumbering.
        auto record = db_.loadModel(m.id);
        ASSERT_TRUE(record);
        EXPECT_FALSE(record->keys.empty()) << m.name.toStdString();
        for (const auto& k : record->keys)
            EXPECT_EQ(k.function, m.name);
    }
    EXPECT_EQ(haveModels, models);
    std::printf("%zu changes by two workers in %d s on %s\n", changes, seconds, backendName());
}

} // namespace
} // namespace pj::catalogue::test

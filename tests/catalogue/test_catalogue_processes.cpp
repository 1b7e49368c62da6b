// Several processes on one catalogue file: a company delete killed at random
// moments leaves the catalogue exactly as before or exactly as after, and two
// processes changing the file at the same time both get their changes in.

#include "catalogue_test_util.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>

#include <chrono>
#include <random>
#include <thread>

extern char** environ;

namespace pj::catalogue::test {
namespace {

pid_t spawnCli(const std::vector<std::string>& args) {
    std::vector<std::string> all{PJ_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, PJ_CLI_PATH, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    EXPECT_EQ(rc, 0);
    return pid;
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
                                     "k:1:aa bb", "--key", "k2:2:cc"}));
        }
        if (i == 6)
            pids.push_back(
                spawnCli({"catalogue", "--catalogue", file_.toStdString(), "add-company", "C"}));
    }
    for (pid_t p : pids)
        EXPECT_EQ(waitExit(p), 0);
    ASSERT_TRUE(db_.connectFile(file_));
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->companies.size(), 3u);
    EXPECT_EQ(tree->models.size(), 24u);
    for (const auto& m : tree->models)
        EXPECT_EQ(db_.loadModel(m.id)->keys.size(), 2u);
    expectSound();
}

} // namespace
} // namespace pj::catalogue::test

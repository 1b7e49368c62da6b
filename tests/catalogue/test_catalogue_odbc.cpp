// The catalogue through ODBC (unixODBC with the SQLite ODBC driver), as a
// shared catalogue is reached when PROJECTOR_CATALOGUE is set.

#include "catalogue/csvformat.h"
#include "catalogue_test_util.h"
#include "cli/command.h"
#include "cli/model_source.h"

#include <QFileInfo>

#include <cstdlib>
#include <sstream>

namespace pj::catalogue::test {
namespace {

// The driver name registered by Debian's libsqliteodbc in odbcinst.ini.
bool odbcSqliteAvailable() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        return false;
    QFile ini(QStringLiteral("/etc/odbcinst.ini"));
    return ini.open(QIODevice::ReadOnly) && ini.readAll().contains("[SQLite3]");
}

class Odbc : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef Q_OS_WIN
        GTEST_SKIP() << "no SQLite ODBC driver registered with Windows (under Wine, odbc32 hands "
                        "ODBC to the Linux driver manager, which cannot open Windows paths)";
#endif
        if (!odbcSqliteAvailable())
            GTEST_SKIP() << "no QODBC driver or no SQLite3 ODBC driver";
        file_ = dir_.filePath(QStringLiteral("shared.mdb"));
        odbc_ = QStringLiteral("DRIVER=SQLite3;Database=%1;NoCreat=1;Timeout=5000").arg(file_);
    }
    void TearDown() override {
        qunsetenv(kCatalogueEnv);
    }

    QTemporaryDir dir_;
    QString file_, odbc_;
};

TEST_F(Odbc, OperationsAndQuotingThroughTheDriver) {
    ASSERT_TRUE(CatalogueDb::init({file_, {}}));
    CatalogueDb db;
    ASSERT_TRUE(db.connect({{}, odbc_}));
    EXPECT_EQ(db.engine(), Engine::Sqlite);
    const QString nasty = QStringLiteral("O'Brien \"x\"; --");
    ASSERT_EQ(*db.addCompany(QStringLiteral("A")), 1);
    ASSERT_EQ(*db.addCompany(nasty), 2);
    EXPECT_EQ(db.addCompany(nasty).error().message, QStringLiteral("该公司名称已经存在!"));
    ModelInput m;
    m.name = nasty;
    m.ascii = true;
    m.parity = 1;
    m.description = QString(3000, QChar(0x5199)); // long memo, read whole
    m.keys = {{nasty, 17, QStringLiteral("PWR ON")}, {QStringLiteral("b"), 0, QStringLiteral("x")}};
    for (int i = 0; i < 3; ++i) {
        ModelInput a = m;
        a.name = QStringLiteral("a%1").arg(i);
        ASSERT_TRUE(db.addModel(1, a));
    }
    auto id = db.addModel(2, m);
    ASSERT_TRUE(id) << id.error().message.toStdString();
    EXPECT_EQ(*id, 4);
    auto back = db.loadModel(4);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, nasty);
    EXPECT_EQ(back->description, m.description);
    EXPECT_EQ(back->keys[0].function, nasty);
    EXPECT_EQ(back->keys[0].code, QStringLiteral("50 57 52 20 4f 4e 0d"));
    EXPECT_EQ(back->keys[1].slot, 0);
    ASSERT_TRUE(db.deleteModel(2));
    ASSERT_TRUE(db.deleteCompany(1)); // models 1 and 2 (former 3) go, 3 becomes 1
    auto tree = db.loadTree();
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->companies.size(), 1u);
    EXPECT_EQ(tree->companies[0].name, nasty);
    ASSERT_EQ(tree->models.size(), 1u);
    EXPECT_EQ(tree->models[0].id, 1);
    EXPECT_EQ(tree->models[0].companyId, 1);
    EXPECT_TRUE(db.checkCatalogue()->empty());
    db.close();

    // The same file read directly agrees.
    CatalogueDb direct;
    ASSERT_TRUE(direct.connectFile(file_));
    EXPECT_EQ(direct.loadModel(1)->name, nasty);
}

TEST(CatalogueLocation, MessagesNeverShowThePassword) {
    EXPECT_EQ((CatalogueLocation{{},
                                 QStringLiteral("DRIVER={PostgreSQL Unicode};Server=h;"
                                                "Uid=u;Pwd=s3cret;Database=d")})
                  .describe(),
              QStringLiteral("DRIVER={PostgreSQL Unicode};Server=h;Uid=u;Pwd=***;Database=d"));
    EXPECT_EQ((CatalogueLocation{{}, QStringLiteral("DSN=x;PASSWORD = {a;b}")}).describe(),
              QStringLiteral("DSN=x;PASSWORD=***"));
    EXPECT_EQ((CatalogueLocation{QStringLiteral("/p/projector.mdb"), {}}).describe(),
              QStringLiteral("/p/projector.mdb"));
}

TEST_F(Odbc, MissingSourceAndInitThroughTheDriver) {
    CatalogueDb db;
    auto r = db.connect({{}, odbc_});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, QStringLiteral("没找到数据库文件！"));
    EXPECT_FALSE(QFileInfo::exists(file_));
    const QString creating = QStringLiteral("DRIVER=SQLite3;Database=%1").arg(file_);
    ASSERT_TRUE(CatalogueDb::init({{}, creating}));
    auto again = CatalogueDb::init({{}, creating});
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().code, ErrorCode::CatalogueExists);
    ASSERT_TRUE(db.connect({{}, odbc_}));
    EXPECT_EQ(*db.addCompany(QStringLiteral("x")), 1);
}

TEST_F(Odbc, TheCommandLineUsesTheEnvironmentConnection) {
    ASSERT_TRUE(CatalogueDb::init({file_, {}}));
    qputenv(kCatalogueEnv, odbc_.toUtf8());
    const auto run = [](std::vector<std::string> args, std::string* out = nullptr) {
        std::ostringstream o, e;
        std::istringstream in;
        pj::cli::Io io{o, e, in};
        const int rc = pj::cli::runCli(args, io);
        if (out)
            *out = o.str();
        return rc;
    };
    // --catalogue names a file that does not exist: the connection is used.
    const std::string nowhere = dir_.filePath(QStringLiteral("nowhere.mdb")).toStdString();
    EXPECT_EQ(run({"catalogue", "--catalogue", nowhere, "add-company", "Epson"}), 0);
    EXPECT_EQ(run({"catalogue", "--catalogue", nowhere, "add-model", "Epson", "EB/1", "--baud",
                   "9600", "--ascii", "--key", "on:0:PWR ON", "--parity", "even"}),
              0);
    std::string out;
    EXPECT_EQ(run({"catalogue", "list"}, &out), 0);
    EXPECT_NE(out.find("EB/1"), std::string::npos);
    std::string error;
    auto codes = pj::cli::loadModelCodes(nowhere, "Epson", "EB/1", error);
    ASSERT_TRUE(codes) << error;
    EXPECT_EQ(codes->baud, 9600u);
    ASSERT_EQ(codes->rows.size(), 1u);
    EXPECT_EQ(codes->rows[0].codeText, "50 57 52 20 4f 4e 0d");
    EXPECT_EQ(codes->rows[0].parity, 2u);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(nowhere)));
}

} // namespace
} // namespace pj::catalogue::test

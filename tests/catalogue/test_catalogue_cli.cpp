// projector-cli catalogue, run in-process: exit codes, one-line errors, the
// --key syntax, JSON output, export and import, and the rows that
// `write --company --model` sends.

#include "catalogue_test_util.h"
#include "cli/command.h"
#include "cli/model_source.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cstdlib>
#include <sstream>

namespace pj::cli {
namespace {

using pj::catalogue::test::Backend;
using pj::catalogue::test::testBackend;

// The commands run on the backend under test: with an ODBC location,
// PROJECTOR_CATALOGUE names it and --catalogue names a file never used.
class CatalogueCli : public ::testing::Test {
protected:
    void SetUp() override { use("projector"); }
    void TearDown() override { qunsetenv("PROJECTOR_CATALOGUE"); }

    // Switches to a new, empty location.
    void use(const char* stem) {
        where_ = catalogues_.fresh(QString::fromLatin1(stem));
        file_ = where_.file.toStdString();
        if (where_.odbc.isEmpty())
            qunsetenv("PROJECTOR_CATALOGUE");
        else
            qputenv("PROJECTOR_CATALOGUE", where_.odbc.toUtf8());
    }

    struct Run {
        int rc;
        std::string out, err;
    };
    Run run(std::vector<std::string> words) {
        std::vector<std::string> args{"catalogue", "--catalogue", file_};
        args.insert(args.end(), words.begin(), words.end());
        std::ostringstream o, e;
        std::istringstream in;
        Io io{o, e, in};
        const int rc = runCli(args, io);
        return {rc, o.str(), e.str()};
    }
    void ok(std::vector<std::string> words) {
        const Run r = run(words);
        EXPECT_EQ(r.rc, kOk) << r.err;
    }
    // Refused: exit 1, one line on stderr, nothing on stdout.
    std::string refused(std::vector<std::string> words) {
        const Run r = run(words);
        EXPECT_EQ(r.rc, kFailed) << words.front();
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        return r.err;
    }
    QJsonObject json(std::vector<std::string> words) {
        words.insert(words.begin(), "--json");
        const Run r = run(words);
        EXPECT_EQ(r.rc, kOk) << r.err;
        return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    }

    QTemporaryDir dir_;
    pj::catalogue::test::TestCatalogues catalogues_{dir_.path()};
    pj::catalogue::CatalogueLocation where_;
    std::string file_;
};

TEST_F(CatalogueCli, UsageErrorsExitTwo) {
    ok({"init"});
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"show", "only-company"},
        {"list", "extra"},
        {"list", "--baud", "9600"},
        {"add-company", "A", "--rename", "B"},
        {"add-model", "A", "m"},
        {"add-model", "A", "m", "--baud", "fast"},
        {"add-model", "A", "m", "--baud", "-5"},
        {"add-model", "A", "m", "--baud", "9600", "--parity", "mark"},
        {"add-model", "A", "m", "--baud", "9600", "--key", "nameonly"},
        {"add-model", "A", "m", "--baud", "9600", "--key", "n:x:00"},
        {"add-model", "A", "m", "--baud"},
        {"list", "--verbose"},
    };
    for (const auto& words : bad) {
        const Run r = run(words);
        EXPECT_EQ(r.rc, kUsage) << (words.empty() ? "" : words.front()) << " " << words.size()
                                << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(CatalogueCli, MissingOrDamagedCatalogueIsOneLine) {
    const std::string err = refused({"list"});
    EXPECT_NE(err.find("没找到数据库文件！"), std::string::npos);
    if (testBackend() == Backend::Sqlite) {
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file_)));
    }
    ok({"init"});
    EXPECT_NE(refused({"init"}).find("已经存在"), std::string::npos);
}

TEST_F(CatalogueCli, AddShowModifyDeleteAndRefusals) {
    ok({"init"});
    ok({"add-company", "Epson"});
    ok({"add-company", "A/B 'quoted'"});
    EXPECT_NE(refused({"add-company", "Epson"}).find("该公司名称已经存在!"), std::string::npos);
    // The slot ends at the second colon; with --ascii the rest is the text.
    ok({"add-model", "Epson", "EB/X1", "--baud", "9600", "--ascii", "--parity", "odd", "--key",
        "电源:0:PWR ON", "--key", "源:VGA1:SOURCE:10", "--description", "说明, 'x'"});
    EXPECT_NE(refused({"add-model", "Epson", "EB/X1", "--baud", "1"}).find("该型号已经存在!"),
              std::string::npos);
    EXPECT_NE(refused({"add-model", "Epson", "", "--baud", "1"}).find("请填写型号！"),
              std::string::npos);
    EXPECT_NE(refused({"add-model", "Epson", "hex", "--baud", "1", "--key", "k:0:0d:0a"})
                  .find("功能码格式错误"),
              std::string::npos);
    refused({"add-model", "Nobody", "m", "--baud", "1"});
    refused({"add-model", "Epson", "m", "--baud", "1", "--key", "k:18:00"});

    QJsonObject m = json({"show", "Epson", "EB/X1"});
    EXPECT_EQ(m[QStringLiteral("baud")].toInt(), 9600);
    EXPECT_EQ(m[QStringLiteral("parity")].toInt(), 1);
    EXPECT_TRUE(m[QStringLiteral("ascii")].toBool());
    EXPECT_EQ(m[QStringLiteral("description")].toString(), QStringLiteral("说明, 'x'"));
    QJsonArray keys = m[QStringLiteral("keys")].toArray();
    ASSERT_EQ(keys.size(), 2);
    EXPECT_EQ(keys[1].toObject()[QStringLiteral("slot")].toInt(), 3);
    EXPECT_EQ(keys[1].toObject()[QStringLiteral("text")].toString(), QStringLiteral("SOURCE:10"));
    EXPECT_EQ(keys[1].toObject()[QStringLiteral("code")].toString(),
              QStringLiteral("53 4f 55 52 43 45 3a 31 30 0d"));

    // Without --key the rows stay; --parity reaches every row.
    ok({"modify-model", "Epson", "EB/X1", "--parity", "even", "--rename", "EB/X2"});
    m = json({"show", "Epson", "EB/X2"});
    keys = m[QStringLiteral("keys")].toArray();
    ASSERT_EQ(keys.size(), 2);
    for (const auto& k : keys) {
        EXPECT_EQ(k.toObject()[QStringLiteral("parity")].toInt(), 2);
        EXPECT_TRUE(k.toObject()[QStringLiteral("ascii")].toBool());
    }
    EXPECT_EQ(m[QStringLiteral("baud")].toInt(), 9600);
    EXPECT_EQ(run({"modify-model", "Epson", "EB/X2", "--ascii"}).rc, kUsage);
    ok({"add-model", "Epson", "other", "--baud", "1"});
    EXPECT_NE(
        refused({"modify-model", "Epson", "other", "--rename", "EB/X2"}).find("该型号已经存在!"),
        std::string::npos);
    ok({"modify-model", "Epson", "other", "--key", "k:2:AA 55", "--baud", "19200"});
    ok({"modify-model", "Epson", "other", "--clear-keys"});
    EXPECT_TRUE(json({"show", "Epson", "other"})[QStringLiteral("keys")].toArray().isEmpty());

    QJsonObject list = json({"list"});
    QJsonArray companies = list[QStringLiteral("companies")].toArray();
    ASSERT_EQ(companies.size(), 2);
    EXPECT_EQ(companies[0].toObject()[QStringLiteral("models")].toArray().size(), 2);
    EXPECT_TRUE(json({"check"})[QStringLiteral("ok")].toBool());

    refused({"delete-model", "Epson", "nothing"});
    ok({"delete-model", "Epson", "EB/X2"});
    ok({"delete-company", "A/B 'quoted'"});
    refused({"delete-company", "A/B 'quoted'"});
    companies = json({"list"})[QStringLiteral("companies")].toArray();
    ASSERT_EQ(companies.size(), 1);
    EXPECT_EQ(companies[0]
                  .toObject()[QStringLiteral("models")]
                  .toArray()[0]
                  .toObject()[QStringLiteral("id")]
                  .toInt(),
              1);
}

TEST_F(CatalogueCli, ExportImportRoundTrip) {
    ok({"init"});
    ok({"add-company", "A,\"1\""});
    ok({"add-company", "B"});
    ok({"add-model", "B", "b1", "--baud", "38400", "--key", "x:1:a0 01", "--key", "y:2:0dH"});
    ok({"add-model", "A,\"1\"", "a1", "--baud", "9600", "--ascii", "--key", "p:0:PWR \"ON\""});
    const std::string csv = dir_.filePath(QStringLiteral("all.csv")).toStdString();
    ok({"export", csv});
    const std::string first = run({"--json", "list"}).out;

    use("other");
    ok({"init"});
    ok({"import", csv});
    EXPECT_EQ(run({"--json", "list"}).out, first);
    const std::string again = dir_.filePath(QStringLiteral("again.csv")).toStdString();
    ok({"export", again});
    QFile a(QString::fromStdString(csv)), b(QString::fromStdString(again));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
    refused({"import", csv}); // everything already there: nothing imported
    refused({"import", dir_.filePath(QStringLiteral("missing.csv")).toStdString()});
}

TEST_F(CatalogueCli, WriteTakesTheModelsRowsFromTheCatalogue) {
    std::string error;
    EXPECT_FALSE(loadModelCodes(file_, "A", "m", error));
    EXPECT_NE(error.find("没找到数据库文件！"), std::string::npos);
    ok({"init"});
    ok({"add-company", "Maker/1"});
    ok({"add-model", "Maker/1", "M/2", "--baud", "19200", "--parity", "odd", "--key",
        "on:0:02 50 4f 4e 03", "--key", "off:1:02H50H4FH46H03"});
    auto codes = loadModelCodes(file_, "Maker/1", "M/2", error);
    ASSERT_TRUE(codes) << error;
    EXPECT_EQ(codes->baud, 19200u);
    ASSERT_EQ(codes->rows.size(), 2u);
    EXPECT_EQ(codes->rows[0].codeText, "02 50 4f 4e 03");
    EXPECT_EQ(codes->rows[1].codeText, "02H50H4FH46H03");
    EXPECT_EQ(codes->rows[1].keyType, 1u);
    EXPECT_EQ(codes->rows[1].parity, 1u);
    EXPECT_FALSE(loadModelCodes(file_, "Maker/1", "nothing", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(loadModelCodes(file_, "nobody", "M/2", error));
}

TEST_F(CatalogueCli, SpeedZeroAndOtherNonSpeedsAreRefusedAndNothingIsAdded) {
    ok({"init"});
    ok({"add-company", "A"});
    for (const char* speed : {"0", "00", "4294967296", "2147483648", "-1", "9600.5", ""}) {
        const Run r = run({"add-model", "A", "m", "--baud", speed});
        EXPECT_EQ(r.rc, kUsage) << speed << r.err;
        EXPECT_NE(r.err.find("--baud"), std::string::npos) << r.err;
    }
    ok({"add-model", "A", "m", "--baud", "2147483647"});
    EXPECT_EQ(run({"modify-model", "A", "m", "--baud", "0"}).rc, kUsage);
    EXPECT_EQ(json({"show", "A", "m"})[QStringLiteral("baud")].toDouble(), 2147483647.0);
}

TEST_F(CatalogueCli, NamesAreTakenWholeOrRefusedNeverAltered) {
    ok({"init"});
    // A leading U+FEFF is part of the name: two companies, each found by its
    // own name. (Output is checked as bytes: Qt's JSON reader drops the mark.)
    const std::string mark = "\xEF\xBB\xBF";
    ok({"add-company", mark + "Acme"});
    ok({"add-company", "Acme"});
    ok({"add-model", mark + "Acme", mark + "M", "--baud", "9600"});
    const Run show = run({"--json", "show", mark + "Acme", mark + "M"});
    EXPECT_EQ(show.rc, kOk);
    EXPECT_NE(show.out.find("\"company\": \"" + mark + "Acme\""), std::string::npos) << show.out;
    refused({"show", "Acme", "M"});
    // Invalid UTF-8 is refused, not stored with replacement characters.
    const std::string bad = "bad\xff\xfename";
    EXPECT_NE(refused({"add-company", bad}).find("不是有效的 UTF-8 文本"), std::string::npos);
    EXPECT_NE(
        refused({"add-model", "Acme", "m", "--baud", "9600", "--key", "k\xff:0:aa"}).find("UTF-8"),
        std::string::npos);
    // Empty or blank names, and control characters.
    for (const char* blank : {"", " ", "\t", "\xE3\x80\x80"})
        EXPECT_NE(refused({"add-company", blank}).find("请填写公司名称！"), std::string::npos);
    EXPECT_NE(refused({"add-model", "Acme", "  ", "--baud", "9600"}).find("请填写型号！"),
              std::string::npos);
    EXPECT_NE(refused({"add-company", "evil\x1b[2J"}).find("控制字符"), std::string::npos);
    refused({"add-model", "Acme", "two\nlines", "--baud", "9600"});
    refused({"add-model", "Acme", "m", "--baud", "9600", "--key", "k\x07:0:aa"});
    EXPECT_EQ(run({"list"}).out, "1 " + mark + "Acme\n    1 " + mark + "M\n2 Acme\n");
    EXPECT_TRUE(json({"check"})[QStringLiteral("ok")].toBool());
}

TEST_F(CatalogueCli, ControlCharactersStoredByOtherMeansNeverReachTheTerminalRaw) {
    ok({"init"});
    ok({"add-company", "A"});
    ok({"add-model", "A", "m", "--baud", "9600", "--key", "k:0:aa"});
    {
        pj::catalogue::test::RawDb raw(where_);
        raw.exec(QStringLiteral("Update COP Set COP=? Where ID=1"), {QStringLiteral("A\x1b[2J")});
        raw.exec(QStringLiteral("Update MACHINE Set MODEL=? Where ID=1"),
                 {QStringLiteral("m\n2 fake")});
    }
    const Run list = run({"list"});
    EXPECT_EQ(list.rc, kOk);
    EXPECT_EQ(list.out.find('\x1b'), std::string::npos) << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 2) << list.out;
    EXPECT_NE(list.out.find("A\\u001b[2J"), std::string::npos) << list.out;
    // check names them.
    const Run check = run({"check"});
    EXPECT_EQ(check.rc, kFailed);
    EXPECT_NE(check.out.find("控制字符"), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find('\x1b'), std::string::npos);
}

TEST_F(CatalogueCli, ImportTakesOnlyRegularFilesAndNamesTheRowItRefuses) {
    ok({"init"});
#ifndef _WIN32
    // A device that never ends is refused at once, not read.
    QElapsedTimer t;
    t.start();
    EXPECT_NE(refused({"import", "/dev/zero"}).find("不是普通文件"), std::string::npos);
    EXPECT_LT(t.elapsed(), 10000);
#endif
    const auto write = [&](const char* name, const QByteArray& data) {
        const QString path = dir_.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return path.toStdString();
    };
    const QByteArray header =
        "kind,company,model,baud,parity,ascii,description,function,slot,code\r\n";
    const std::string nul = write("with-nul-byte.csv", header + "company,A,,,,,,,,\r\ncompany,B" +
                                                           QByteArray(1, '\0') + "x,,,,,,,,\r\n");
    EXPECT_NE(refused({"import", nul}).find("第 3 行"), std::string::npos);
    const std::string invalid =
        write("invalid.csv", header + "company,A,,,,,,,,\r\ncompany,\xff\xfe,,,,,,,,\r\n");
    EXPECT_NE(refused({"import", invalid}).find("第 3 行"), std::string::npos);
    const std::string blank = write("blank.csv", header + "company, ,,,,,,,,\r\n");
    EXPECT_NE(refused({"import", blank}).find("请填写公司名称！"), std::string::npos);
    const std::string zero = write("zero.csv", header + "company,A,,,,,,,,\r\n"
                                                        "model,A,m,0,0,0,,,,\r\n");
    EXPECT_NE(refused({"import", zero}).find("波特率无效"), std::string::npos);
    EXPECT_TRUE(json({"list"})[QStringLiteral("companies")].toArray().isEmpty());
}

TEST_F(CatalogueCli, CheckNamesTheModelThatHoldsABadSlotParityOrSpeed) {
    ok({"init"});
    ok({"add-company", "Maker"});
    ok({"add-model", "Maker", "fine", "--baud", "9600", "--key", "k:0:aa"});
    ok({"add-model", "Maker", "broken", "--baud", "9600", "--key", "k:0:aa", "--key", "l:1:bb"});
    {
        pj::catalogue::test::RawDb raw(where_);
        raw.exec(QStringLiteral("Update FUNKEY Set TYPE=256 Where MID=2 And TYPE=0"));
        raw.exec(QStringLiteral("Update FUNKEY Set \"CHECK\"=3 Where MID=2"));
        raw.exec(QStringLiteral("Update MACHINE Set BAUD=-1 Where ID=2"));
    }
    const Run r = run({"check"});
    EXPECT_EQ(r.rc, kFailed);
    int lines = 0;
    std::istringstream out(r.out);
    for (std::string line; std::getline(out, line); ++lines)
        EXPECT_NE(line.find("Maker / broken"), std::string::npos) << line;
    EXPECT_GE(lines, 3) << r.out; // the slot, the parity of each row, the speed
    EXPECT_NE(r.out.find("256"), std::string::npos);
    EXPECT_NE(r.out.find("-1"), std::string::npos);
    // show does not wrap the stored speed into 4294967295.
    EXPECT_EQ(json({"show", "Maker", "broken"})[QStringLiteral("baud")].toInt(), 0);
    EXPECT_NE(
        refused({"export", dir_.filePath(QStringLiteral("x.csv")).toStdString()}).find("broken"),
        std::string::npos);
}

} // namespace
} // namespace pj::cli

// Opening and creating catalogue files, and the exchange file: a missing,
// damaged or foreign file is refused with the same message and left exactly
// as it was; export and import reproduce a catalogue with its IDs.

#include "catalogue/csvformat.h"
#include "catalogue_test_util.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace pj::catalogue::test {
namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

class Files : public CatalogueFixture {};

TEST_F(Files, MissingDamagedOrForeignFilesAreRefusedAndLeftUntouched) {
    PJ_SKIP_UNLESS_FILE();
    company(QStringLiteral("A"));
    model(1, QStringLiteral("m"), 5);
    db_.close();
    const QByteArray good = fileBytes(file_);
    ASSERT_GT(good.size(), 4096);

    QTemporaryDir scratch;
    const auto refused = [&](const QString& f) {
        CatalogueDb db;
        auto r = db.connectFile(f);
        ASSERT_FALSE(r) << f.toStdString() << " " << fileBytes(f).size();
        EXPECT_EQ(r.error().code, ErrorCode::CatalogueNotFound);
        EXPECT_EQ(r.error().message, QStringLiteral("没找到数据库文件！"));
        EXPECT_FALSE(db.isOpen());
        EXPECT_FALSE(QFileInfo::exists(f + QStringLiteral("-journal")));
        auto tree = db.loadTree();
        ASSERT_FALSE(tree);
        EXPECT_EQ(tree.error().code, ErrorCode::CatalogueNotFound);
    };

    const QString missing = scratch.filePath(QStringLiteral("projector.mdb"));
    refused(missing);
    EXPECT_FALSE(QFileInfo::exists(missing)); // never created
    refused(scratch.path());                  // a folder

    struct Case {
        const char* name;
        QByteArray bytes;
    };
    QByteArray header = good;
    header[20] = 0x7f; // reserved-space byte of the header
    QByteArray page = good;
    for (int i = 4096; i < 2 * 4096; ++i) // a whole b-tree page overwritten
        page[i] = static_cast<char>(0xA5);
    const Case cases[] = {
        {"empty.mdb", QByteArray()},
        {"text.mdb", QByteArray("company,model\nA,B\n")},
        {"jet.mdb", QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2000, 'x')},
        {"truncated.mdb", good.left(good.size() / 2)},
        {"header.mdb", header},
        {"page.mdb", page},
    };
    for (const auto& c : cases) {
        const QString f = scratch.filePath(QString::fromLatin1(c.name));
        writeBytes(f, c.bytes);
        refused(f);
        EXPECT_EQ(fileBytes(f), c.bytes) << c.name;
    }

    // A sound SQLite database that is no catalogue.
    const QString foreign = scratch.filePath(QStringLiteral("foreign.mdb"));
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
        db.setDatabaseName(foreign);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE COP (ID INTEGER, COP TEXT)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
    const QByteArray foreignBytes = fileBytes(foreign);
    refused(foreign);
    EXPECT_EQ(fileBytes(foreign), foreignBytes);

    // The good file still opens.
    CatalogueDb db;
    EXPECT_TRUE(db.connectFile(file_));
}

TEST_F(Files, ADamagedFileIsNeverWrittenToWhateverLiesBesideIt) {
    PJ_SKIP_UNLESS_FILE();
    company(QStringLiteral("A"));
    model(1, QStringLiteral("m"), 5);
    db_.close();
    QByteArray damaged = fileBytes(file_);
    ASSERT_GT(damaged.size(), 2 * 4096);
    for (int i = 4096; i < 2 * 4096; ++i) // a whole b-tree page overwritten
        damaged[i] = static_cast<char>(0xA5);
    const QByteArray garbage(1024, 'j');
    for (const char* beside : {"-journal", "-wal"}) {
        QTemporaryDir scratch;
        const QString f = scratch.filePath(QStringLiteral("projector.mdb"));
        const QString companion = f + QString::fromLatin1(beside);
        writeBytes(f, damaged);
        writeBytes(companion, garbage);
        CatalogueDb db;
        auto r = db.connectFile(f);
        ASSERT_FALSE(r) << beside;
        EXPECT_EQ(r.error().message, QStringLiteral("没找到数据库文件！"));
        EXPECT_FALSE(db.addCompany(QStringLiteral("X")));
        EXPECT_EQ(fileBytes(f), damaged) << beside;
        EXPECT_EQ(fileBytes(companion), garbage) << beside;
    }
    // A sound file with a stale journal beside it opens (the journal restores
    // nothing), and so does one whose journal a killed change left (see the
    // process tests).
    QTemporaryDir scratch;
    const QString f = scratch.filePath(QStringLiteral("projector.mdb"));
    ASSERT_TRUE(QFile::copy(file_, f));
    writeBytes(f + QStringLiteral("-journal"), garbage);
    CatalogueDb db;
    ASSERT_TRUE(db.connectFile(f));
    EXPECT_EQ(*db.addCompany(QStringLiteral("X")), 2);
}

TEST_F(Files, AFileLockedByAnotherProgramIsReportedBusyNotMissing) {
    PJ_SKIP_UNLESS_FILE();
    company(QStringLiteral("A"));
    db_.close();
    RawDb holder(file_);
    ASSERT_TRUE(holder.holdWriteLock());
    CatalogueDb db;
    db.setBusyTimeout(300);
    auto r = db.connectFile(file_);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, ErrorCode::Busy);
    EXPECT_TRUE(r.error().message.contains(QStringLiteral("正被另一个程序使用")));
    holder.release();
    ASSERT_TRUE(db.connectFile(file_));
    EXPECT_EQ(db.loadTree()->companies.size(), 1u);
}

TEST_F(Files, InitRefusesAnExistingFile) {
    PJ_SKIP_UNLESS_FILE();
    const QByteArray before = fileBytes(file_);
    auto r = CatalogueDb::init({file_, {}});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, ErrorCode::CatalogueExists);
    EXPECT_EQ(fileBytes(file_), before);
    const QString other = path("other.txt");
    writeBytes(other, "hello");
    EXPECT_FALSE(CatalogueDb::init({other, {}}));
    EXPECT_EQ(fileBytes(other), QByteArray("hello"));
}

TEST(Csv, RecordsWithQuotesCommasAndLineBreaks) {
    const QStringList fields = {QStringLiteral("a,b"), QStringLiteral("say \"hi\""),
                                QStringLiteral("two\r\nlines"), QString(), QStringLiteral("中文")};
    QByteArray data = "\xEF\xBB\xBF" + csvRecord(fields) + csvRecord({QStringLiteral("x")});
    std::vector<int> lines;
    auto parsed = parseCsv(data, &lines);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 2u);
    EXPECT_EQ((*parsed)[0], fields);
    EXPECT_EQ(lines, (std::vector<int>{1, 3}));
    EXPECT_FALSE(parseCsv("a,\"open\n"));
    EXPECT_FALSE(parseCsv("a,\"x\"y\n"));
    // LF-only line ends and a missing final line end.
    parsed = parseCsv("a,b\nc,d");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->size(), 2u);
}

TEST_F(Files, ExportImportReproducesTheCatalogueWithItsIds) {
    company(QStringLiteral("Empty company"));
    company(QStringLiteral("B, \"quoted\" name"));
    company(QStringLiteral("C"));
    model(3, QStringLiteral("c1"), 3);
    ModelInput a;
    a.name = QStringLiteral("ascii, model");
    a.ascii = true;
    a.parity = 2;
    a.baud = 115200;
    a.description = QStringLiteral("多行\r\n描述, \"引号\"");
    a.keys = {{QStringLiteral("开机"), 0, QStringLiteral("PWR ON")},
              {QStringLiteral("x"), 17, QStringLiteral("A:B,\"C\"")}};
    ASSERT_TRUE(db_.addModel(2, a));
    model(3, QStringLiteral("c2"), 0);
    ModelInput typed;
    typed.name = QStringLiteral("typed");
    typed.keys = {{QStringLiteral("h"), 4, QStringLiteral("AAh 0Dh")}};
    ASSERT_TRUE(db_.addModel(2, typed));

    auto snapshot = db_.exportSnapshot();
    ASSERT_TRUE(snapshot);
    const QByteArray csv = writeCatalogueCsv(*snapshot);
    auto read = readCatalogueCsv(csv);
    ASSERT_TRUE(read) << read.error().message.toStdString();

    const CatalogueLocation copy = freshCatalogue("copy");
    CatalogueDb other;
    ASSERT_TRUE(other.connect(copy));
    ASSERT_TRUE(other.importSnapshot(*read));
    RawDb ours(where_), theirs(copy);
    EXPECT_EQ(ours.dump().cop, theirs.dump().cop);
    EXPECT_EQ(ours.dump().machine, theirs.dump().machine);
    // Key rows equal apart from their own row numbers.
    const auto keys = QStringLiteral("Select \"FUNCTION\",FUNCODE,MID,TYPE,ISASCII,\"CHECK\" From "
                                     "FUNKEY Order By ID");
    EXPECT_EQ(ours.rows(keys), theirs.rows(keys));
    EXPECT_EQ(writeCatalogueCsv(*other.exportSnapshot()), csv);

    // Importing again is refused whole: the companies exist.
    const auto before = theirs.dump();
    auto again = other.importSnapshot(*read);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().code, ErrorCode::CompanyExists);
    EXPECT_EQ(theirs.dump(), before);
}

TEST(CsvImport, MalformedFilesAreRefusedWithTheLine) {
    const QByteArray header = "kind,company,model,baud,parity,ascii,description,function,slot,"
                              "code\r\n";
    const auto error = [](const QByteArray& data) {
        auto r = readCatalogueCsv(data);
        EXPECT_FALSE(r);
        return r ? QString() : r.error().message;
    };
    EXPECT_TRUE(readCatalogueCsv(header));
    EXPECT_FALSE(error("company,model\r\n").isEmpty());
    EXPECT_TRUE(error(header + "key,A,m,,,,,f,0,00\r\n").contains(QStringLiteral("第 2 行")));
    EXPECT_TRUE(error(header + "company,A,,,,,,,,\r\nmodel,A,m,fast,0,0,,,,\r\n")
                    .contains(QStringLiteral("第 3 行")));
    EXPECT_FALSE(error(header + "model,A,m,1,0,2,,,,\r\n").isEmpty());
    EXPECT_FALSE(error(header + "thing,A,,,,,,,,\r\n").isEmpty());
    EXPECT_FALSE(error(header + "company,A\r\n").isEmpty());
}

} // namespace
} // namespace pj::catalogue::test

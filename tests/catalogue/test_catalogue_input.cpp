// What reaches the catalogue and what comes out of it: blank names, control
// characters and speed 0 are refused on every path (add, modify, import) with
// nothing written; a leading U+FEFF survives a round trip; values stored by
// other means (speeds outside 1..4,294,967,295, a slot outside 0..17, parity
// above 2) are never wrapped into valid ones, and the check names the model
// that holds them.

#include "catalogue/csvformat.h"
#include "catalogue_test_util.h"

namespace pj::catalogue::test {
namespace {

using Input = CatalogueFixture;

TEST_F(Input, BlankNamesAndControlCharactersAreRefusedOnEveryPath) {
    company(QStringLiteral("A"));
    model(1, QStringLiteral("m"));
    RawDb raw(where_);
    const auto before = raw.dump();
    const auto refused = [&](const auto& result, ErrorCode code) {
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, code) << result.error().message.toStdString();
        EXPECT_EQ(raw.dump(), before);
    };
    for (const QString& blank :
         {QString(), QStringLiteral(""), QStringLiteral("  "), QStringLiteral("\u3000")})
        refused(db_.addCompany(blank), ErrorCode::EmptyCompanyName);
    refused(db_.addCompany(QStringLiteral("evil\x1b[2J")), ErrorCode::BadText);
    refused(db_.addCompany(QStringLiteral("two\nlines")), ErrorCode::BadText);

    auto blankModel = hexModel(QStringLiteral(" "));
    refused(db_.addModel(1, blankModel), ErrorCode::EmptyModelName);
    refused(db_.modifyModel(1, blankModel), ErrorCode::EmptyModelName);
    auto newline = hexModel(QStringLiteral("fake\n2 line"));
    refused(db_.addModel(1, newline), ErrorCode::BadText);
    auto keyName = hexModel(QStringLiteral("k"));
    keyName.keys[1].function = QStringLiteral("bell\a");
    refused(db_.addModel(1, keyName), ErrorCode::BadText);
    auto description = hexModel(QStringLiteral("d"));
    description.description = QStringLiteral("ok\r\nthen \x1b]0;title\x07");
    refused(db_.addModel(1, description), ErrorCode::BadText);

    // Import: a blank company would have been stored as NULL.
    CatalogueSnapshot s;
    s.companies = {QStringLiteral("B"), QString()};
    refused(db_.importSnapshot(s), ErrorCode::EmptyCompanyName);
    s.companies = {QStringLiteral("B")};
    CatalogueSnapshot::Model m;
    m.company = QStringLiteral("B");
    m.input = hexModel(QStringLiteral("tab\tname"));
    m.input.codesStored = true;
    s.models = {m};
    refused(db_.importSnapshot(s), ErrorCode::BadText);
    EXPECT_EQ(raw.rows(QStringLiteral("Select Count(*) From COP Where COP Is Null")),
              std::vector<std::string>{"0"});
    expectSound();
}

TEST_F(Input, SpeedZeroIsRefusedOnEveryPath) {
    company(QStringLiteral("A"));
    model(1, QStringLiteral("m"));
    RawDb raw(where_);
    const auto before = raw.dump();
    auto zero = hexModel(QStringLiteral("zero"));
    zero.baud = 0;
    const auto refused = [](const auto& r) {
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().code, ErrorCode::BadBaud);
        EXPECT_EQ(r.error().message, QStringLiteral("波特率无效"));
    };
    refused(db_.addModel(1, zero));
    refused(db_.addModel(CompanyEntry{1, QStringLiteral("A")}, zero));
    refused(db_.modifyModel(1, zero));
    refused(db_.modifyModel(*db_.loadModel(1), zero));
    CatalogueSnapshot s;
    s.models.push_back({QStringLiteral("A"), zero});
    EXPECT_EQ(db_.importSnapshot(s).error().code, ErrorCode::BadBaud);
    EXPECT_EQ(raw.dump(), before);
}

TEST_F(Input, ALeadingByteOrderMarkIsPartOfTheNameThroughExportAndImport) {
    const QString marked = QStringLiteral("\ufeffAcme");
    const int a = company(marked);
    const int b = company(QStringLiteral("Acme")); // another company
    ASSERT_NE(a, b);
    EXPECT_EQ(*db_.findCompany(marked), a);
    EXPECT_EQ(*db_.findCompany(QStringLiteral("Acme")), b);
    // Stored with the mark: five characters.
    RawDb raw(where_);
    EXPECT_EQ(raw.rows(QStringLiteral("Select length(COP) From COP Order By ID")),
              (std::vector<std::string>{"5", "4"}));
    ModelInput in = hexModel(QStringLiteral("\ufeffM"));
    in.keys[0].function = QStringLiteral("\ufeffkey");
    ASSERT_TRUE(db_.addModel(a, in));

    // Export, with a byte-order mark of the file's own in front, and import.
    auto snapshot = db_.exportSnapshot();
    ASSERT_TRUE(snapshot);
    const QByteArray csv = "\xEF\xBB\xBF" + writeCatalogueCsv(*snapshot);
    auto read = readCatalogueCsv(csv);
    ASSERT_TRUE(read) << read.error().message.toStdString();
    const CatalogueLocation copy = freshCatalogue("copy");
    CatalogueDb other;
    ASSERT_TRUE(other.connect(copy));
    ASSERT_TRUE(other.importSnapshot(*read));
    auto tree = other.loadTree();
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->companies.size(), 2u);
    EXPECT_EQ(tree->companies[0].name, marked);
    EXPECT_EQ(tree->companies[1].name, QStringLiteral("Acme"));
    auto back = other.loadModel(1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, QStringLiteral("\ufeffM"));
    EXPECT_EQ(back->keys[0].function, QStringLiteral("\ufeffkey"));
}

// Stored speeds a reader cannot take as they are. PostgreSQL's INTEGER
// column holds neither text nor numbers beyond 32 bits.
struct StoredSpeed {
    const char* sql; // the value as an SQL literal
    bool anyEngine;
};

TEST_F(Input, StoredSpeedsOutsideTheRangeAreReportedAndNeverWrapped) {
    const int c = company(QStringLiteral("Maker"));
    model(c, QStringLiteral("good"));
    expectSound();
    const StoredSpeed speeds[] = {{"-1", true},          {"0", true},      {"NULL", true},
                                  {"4294967296", false}, {"'abc'", false}, {"96.5", false}};
    RawDb raw(where_);
    int id = 1;
    for (const auto& speed : speeds) {
        if (!speed.anyEngine && testBackend() == Backend::Postgres)
            continue;
        ++id;
        ASSERT_TRUE(raw.exec(QStringLiteral("Insert Into MACHINE(ID,MODEL,CID,BAUD) "
                                            "Values(%1,'m%1',%2,%3)")
                                 .arg(id)
                                 .arg(c)
                                 .arg(QString::fromLatin1(speed.sql))));
        auto m = db_.loadModel(id);
        ASSERT_TRUE(m) << speed.sql;
        EXPECT_EQ(m->baud, 0u) << speed.sql; // "no speed"; -1 never becomes 4294967295
    }
    auto problems = db_.checkCatalogue();
    ASSERT_TRUE(problems);
    int bad = 0;
    for (const auto& p : *problems) {
        ASSERT_EQ(p.kind, ProblemKind::BadSpeed) << p.message.toStdString();
        EXPECT_TRUE(p.message.contains(QStringLiteral("Maker / m"))) << p.message.toStdString();
        ++bad;
    }
    EXPECT_EQ(bad, id - 1);
    // Export refuses rather than writing a number the model does not have.
    auto exported = db_.exportSnapshot();
    ASSERT_FALSE(exported);
    EXPECT_TRUE(exported.error().message.contains(QStringLiteral("型号 2")))
        << exported.error().message.toStdString();
    // The broken model can still be fixed and deleted.
    ModelInput fix = hexModel(QStringLiteral("m2"));
    ASSERT_TRUE(db_.modifyModel(*db_.loadModel(2), fix));
    ASSERT_TRUE(db_.deleteModel(*db_.loadModel(3)));
}

TEST_F(Input, TheCheckSaysWhichModelHoldsABadSlotOrParityAndLoadingKeepsThemInvalid) {
    company(QStringLiteral("Maker"));
    model(1, QStringLiteral("fine"));
    model(1, QStringLiteral("broken"));
    RawDb raw(where_);
    ASSERT_TRUE(raw.exec(QStringLiteral("Update FUNKEY Set TYPE=256 Where MID=2 And TYPE=0")));
    ASSERT_TRUE(raw.exec(QStringLiteral("Update FUNKEY Set \"CHECK\"=3 Where MID=2")));
    auto problems = db_.checkCatalogue();
    ASSERT_TRUE(problems);
    bool slot = false, parity = false;
    for (const auto& p : *problems) {
        EXPECT_TRUE(p.message.contains(QStringLiteral("型号 2（Maker / broken）")))
            << p.message.toStdString();
        slot = slot ||
               (p.kind == ProblemKind::SlotOutOfRange && p.message.contains(QStringLiteral("256")));
        parity = parity || (p.kind == ProblemKind::BadValue &&
                            p.message.contains(QStringLiteral("校验位 3")));
    }
    EXPECT_TRUE(slot);
    EXPECT_TRUE(parity);
    auto m = db_.loadModel(2);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->keys[0].slot, 256); // as stored, for the frame builder to refuse
    EXPECT_EQ(m->parity, 3);
    if (testBackend() != Backend::Postgres) {
        // Beyond 32 bits: never wrapped onto key 0.
        ASSERT_TRUE(raw.exec(QStringLiteral("Update FUNKEY Set TYPE=4294967296 Where MID=2")));
        EXPECT_EQ(db_.loadModel(2)->keys[0].slot, -1);
    }
}

} // namespace
} // namespace pj::catalogue::test

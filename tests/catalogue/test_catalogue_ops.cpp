// Catalogue operations on a real catalogue file: numbering after deletes,
// refusals that change nothing, limits, quoting, values read whole.

#include "catalogue/functionkeys.h"
#include "catalogue_test_util.h"
#include "link/codetext.h"

#include <random>

namespace pj::catalogue::test {
namespace {

using Ops = CatalogueFixture;

std::vector<int> ids(const std::vector<ModelEntry>& v) {
    std::vector<int> out;
    for (const auto& m : v)
        out.push_back(m.id);
    return out;
}

TEST_F(Ops, EmptyTablesGiveIdOneAndEmptyTree) {
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    EXPECT_TRUE(tree->companies.empty());
    EXPECT_TRUE(tree->models.empty());
    // MAX(ID) over an empty table is NULL: the first row still gets 1.
    EXPECT_EQ(company(QStringLiteral("A")), 1);
    EXPECT_EQ(model(1, QStringLiteral("m")), 1);
    expectSound();
}

TEST_F(Ops, DeletingModelThreeOfFiveRenumbersModelsAndKeys) {
    const int c = company(QStringLiteral("C"));
    for (int i = 1; i <= 5; ++i)
        ASSERT_EQ(model(c, QStringLiteral("m%1").arg(i), i), i);
    ASSERT_TRUE(db_.deleteModel(3));
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(ids(tree->models), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(tree->models[2].name, QStringLiteral("m4"));
    auto former4 = db_.loadModel(3);
    ASSERT_TRUE(former4);
    EXPECT_EQ(former4->name, QStringLiteral("m4"));
    EXPECT_EQ(former4->keys.size(), 4u); // its keys now carry MID 3
    RawDb raw(where_);
    EXPECT_EQ(raw.rows(QStringLiteral("Select Count(*) From FUNKEY Where MID=3")),
              std::vector<std::string>{"4"});
    EXPECT_EQ(raw.rows(QStringLiteral("Select Count(*) From FUNKEY")),
              std::vector<std::string>{"12"});
    // The next model takes ID 5.
    EXPECT_EQ(model(c, QStringLiteral("new")), 5);
    expectSound();
}

TEST_F(Ops, DeletingCompanyTwoOfThreeRenumbersEverythingAbove) {
    for (int c = 1; c <= 3; ++c)
        ASSERT_EQ(company(QStringLiteral("C%1").arg(c)), c);
    // Models interleaved between companies: 1:C1 2:C2 3:C3 4:C2 5:C1 6:C3.
    const int owners[] = {1, 2, 3, 2, 1, 3};
    for (int i = 0; i < 6; ++i)
        model(owners[i], QStringLiteral("m%1").arg(i + 1), i + 1);
    ASSERT_TRUE(db_.deleteCompany(2));
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->companies.size(), 2u);
    EXPECT_EQ(tree->companies[1].id, 2);
    EXPECT_EQ(tree->companies[1].name, QStringLiteral("C3"));
    ASSERT_EQ(tree->models.size(), 4u);
    // m1 m3 m5 m6 remain as 1..4; m3 and m6 belong to former company 3, now 2.
    const char* names[] = {"m1", "m3", "m5", "m6"};
    const int cids[] = {1, 2, 1, 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tree->models[i].id, i + 1);
        EXPECT_EQ(tree->models[i].name, QString::fromLatin1(names[i]));
        EXPECT_EQ(tree->models[i].companyId, cids[i]);
    }
    auto m6 = db_.loadModel(4);
    ASSERT_TRUE(m6);
    EXPECT_EQ(m6->keys.size(), 6u);
    RawDb raw(where_);
    EXPECT_EQ(raw.rows(QStringLiteral("Select Count(*) From FUNKEY")),
              std::vector<std::string>{"15"}); // 1+3+5+6
    expectSound();
}

TEST_F(Ops, DeletingLastCompanyOrModelOrCompanyWithoutModels) {
    company(QStringLiteral("A"));
    company(QStringLiteral("B"));
    company(QStringLiteral("Empty"));
    model(1, QStringLiteral("a1"));
    model(2, QStringLiteral("b1"));
    model(2, QStringLiteral("b2"));
    RawDb raw(where_);
    auto before = raw.dump();
    ASSERT_TRUE(db_.deleteCompany(3)); // no models: just the row
    auto after = raw.dump();
    EXPECT_EQ(after.machine, before.machine);
    EXPECT_EQ(after.funkey, before.funkey);
    EXPECT_EQ(after.cop.size(), 2u);
    ASSERT_TRUE(db_.deleteModel(3)); // last model: no other ID moves
    EXPECT_EQ(raw.dump().machine,
              (std::vector<std::string>(before.machine.begin(), before.machine.end() - 1)));
    ASSERT_TRUE(db_.deleteCompany(2)); // last company with its model
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->companies.size(), 1u);
    ASSERT_EQ(tree->models.size(), 1u);
    EXPECT_EQ(tree->models[0].name, QStringLiteral("a1"));
    ASSERT_TRUE(db_.deleteCompany(1));
    EXPECT_EQ(raw.dump(), RawDb::Dump{});
    EXPECT_EQ(company(QStringLiteral("again")), 1);
}

// The straightforward company delete, kept as the reference: one pass of
// delete and renumber per model, each pass selecting the company's first model afresh.
void referenceDeleteCompany(RawDb& raw, int k) {
    for (;;) {
        auto first = raw.rows(QStringLiteral("Select ID From MACHINE Where CID=%1").arg(k));
        if (first.empty())
            break;
        const int m = std::stoi(first.front());
        raw.exec(QStringLiteral("Delete From FUNKEY Where MID=?"), {m});
        raw.exec(QStringLiteral("Update FUNKEY Set MID=MID-1 Where MID>?"), {m});
        raw.exec(QStringLiteral("Delete From MACHINE Where ID=?"), {m});
        raw.exec(QStringLiteral("Update MACHINE Set ID=ID-1 Where ID>?"), {m});
    }
    raw.exec(QStringLiteral("Delete From COP Where ID=?"), {k});
    raw.exec(QStringLiteral("Update MACHINE Set CID=CID-1 Where CID>?"), {k});
    raw.exec(QStringLiteral("Update COP Set ID=ID-1 Where ID>?"), {k});
}

TEST_F(Ops, CompanyDeleteEqualsOnePassPerModelOnRandomCatalogues) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 12; ++round) {
        db_.close();
        where_ = freshCatalogue(qPrintable(QStringLiteral("round%1").arg(round)));
        ASSERT_TRUE(db_.connect(where_));
        const int companies = 1 + static_cast<int>(rng() % 6);
        for (int c = 1; c <= companies; ++c)
            company(QStringLiteral("c%1").arg(c));
        const int models = static_cast<int>(rng() % 25);
        for (int m = 0; m < models; ++m)
            model(1 + static_cast<int>(rng() % companies), QStringLiteral("m%1").arg(m),
                  static_cast<int>(rng() % 4));
        const int k = 1 + static_cast<int>(rng() % companies);
        db_.close();
        const CatalogueLocation copy =
            catalogues_.copy(where_, QStringLiteral("reference%1").arg(round));
        ASSERT_TRUE(db_.connect(where_));
        ASSERT_TRUE(db_.deleteCompany(k));
        RawDb ours(where_), reference(copy);
        referenceDeleteCompany(reference, k);
        EXPECT_EQ(ours.dump(), reference.dump()) << "round " << round << " company " << k;
        expectSound();
    }
}

TEST_F(Ops, RefusedOperationsChangeNothing) {
    company(QStringLiteral("A"));
    company(QStringLiteral("B"));
    model(1, QStringLiteral("m"));
    model(2, QStringLiteral("m")); // the same name in another company is fine
    RawDb raw(where_);
    const auto before = raw.dump();
    const auto refused = [&](ErrorCode code, const auto& result, const char* text = nullptr) {
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, code);
        if (text) {
            EXPECT_EQ(result.error().message, QString::fromUtf8(text));
        }
        EXPECT_EQ(raw.dump(), before);
    };
    refused(ErrorCode::CompanyExists, db_.addCompany(QStringLiteral("A")), "该公司名称已经存在!");
    refused(ErrorCode::ModelExists, db_.addModel(1, hexModel(QStringLiteral("m"))),
            "该型号已经存在!");
    refused(ErrorCode::EmptyModelName, db_.addModel(1, hexModel(QString())), "请填写型号！");
    refused(ErrorCode::NoSuchCompany, db_.addModel(9, hexModel(QStringLiteral("x"))));
    refused(ErrorCode::NoSuchModel, db_.deleteModel(3));
    refused(ErrorCode::NoSuchModel, db_.deleteModel(0));
    refused(ErrorCode::NoSuchCompany, db_.deleteCompany(3));

    // A bad key anywhere refuses the whole model, even after good keys.
    for (const char* bad : {"a", "a0 1", "0x12", "zz", "a 0", "", "a0,01", "ａ0"}) {
        auto m = hexModel(QStringLiteral("new"));
        m.keys.push_back({QStringLiteral("bad"), 0, QString::fromUtf8(bad)});
        refused(ErrorCode::BadCode, db_.addModel(1, m), "功能码格式错误");
        refused(ErrorCode::BadCode, db_.modifyModel(1, m), "功能码格式错误");
    }
    auto ascii = hexModel(QStringLiteral("new"), 0);
    ascii.ascii = true;
    ascii.keys.push_back({QStringLiteral("k"), 0, QStringLiteral("PWR\tON")});
    refused(ErrorCode::BadCode, db_.addModel(1, ascii), "功能码格式错误");
    ascii.keys.back().code = QStringLiteral("开机");
    refused(ErrorCode::BadCode, db_.addModel(1, ascii), "功能码格式错误");

    auto slot = hexModel(QStringLiteral("new"));
    slot.keys[1].slot = 18;
    refused(ErrorCode::BadSlot, db_.addModel(1, slot));
    slot.keys[1].slot = -1;
    refused(ErrorCode::BadSlot, db_.addModel(1, slot));
    auto parity = hexModel(QStringLiteral("new"));
    parity.parity = 3;
    refused(ErrorCode::BadParity, db_.addModel(1, parity));
    auto baud = hexModel(QStringLiteral("new"));
    baud.baud = 0x80000000u;
    refused(ErrorCode::BadBaud, db_.addModel(1, baud));

    // Renaming onto another model of the company.
    model(1, QStringLiteral("other"));
    const auto withOther = raw.dump();
    auto rename = hexModel(QStringLiteral("m"));
    auto r = db_.modifyModel(3, rename);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, QStringLiteral("该型号已经存在!"));
    EXPECT_EQ(raw.dump(), withOther);
}

TEST_F(Ops, LimitsAreEnforcedAtInputAndValuesReadWhole) {
    const QString name50 = QString(49, QChar(0x578B)) + QChar(0x53F7); // 50 Chinese characters
    const int c = company(name50);
    ASSERT_EQ(c, 1);
    auto tooLong = db_.addCompany(name50 + QLatin1Char('x'));
    ASSERT_FALSE(tooLong);
    EXPECT_EQ(tooLong.error().code, ErrorCode::TooLong);

    ModelInput m;
    m.name = name50;
    m.baud = 115200;
    m.description = QString(kMaxDescriptionLength, QChar(0x5907));
    QString code255 = QStringLiteral("0d");
    while (code255.size() + 3 <= 255)
        code255 += QStringLiteral(" 0d");
    ASSERT_EQ(code255.size(), 254);
    code255 += QLatin1Char(' '); // separators count too: 255 characters
    m.keys.push_back({name50, 17, code255});
    auto id = db_.addModel(c, m);
    ASSERT_TRUE(id) << id.error().message.toStdString();
    auto back = db_.loadModel(*id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, name50);
    EXPECT_EQ(back->description, m.description);
    ASSERT_EQ(back->keys.size(), 1u);
    EXPECT_EQ(back->keys[0].function, name50);
    EXPECT_EQ(back->keys[0].code, code255);
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->companies[0].name, name50);
    EXPECT_EQ(tree->models[0].name, name50);

    const auto refusedTooLong = [&](ModelInput in) {
        in.name = QStringLiteral("other");
        auto r = db_.addModel(c, in);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().code, ErrorCode::TooLong);
    };
    auto longer = m;
    longer.description += QLatin1Char('x');
    refusedTooLong(longer);
    longer = m;
    longer.keys[0].code += QStringLiteral(" "); // 256 characters
    refusedTooLong(longer);
    longer = m;
    longer.keys[0].function += QLatin1Char('x');
    refusedTooLong(longer);
    // ASCII entry: 84 characters make 254 stored characters, 85 make 257.
    longer = m;
    longer.ascii = true;
    longer.keys[0].code = QString(85, QLatin1Char('A'));
    refusedTooLong(longer);
    longer.keys[0].code.chop(1);
    longer.name = QStringLiteral("ascii84");
    EXPECT_TRUE(db_.addModel(c, longer));
}

TEST_F(Ops, AsciiEntryIsStoredConvertedAndModifyReplacesKeys) {
    const int c = company(QStringLiteral("Epson"));
    ModelInput m;
    m.name = QStringLiteral("EB");
    m.ascii = true;
    m.parity = 2;
    m.keys = {{QStringLiteral("开机"), 0, QStringLiteral("AT")},
              {QStringLiteral("关机"), 1, QStringLiteral("PWR OFF")}};
    const int id = *db_.addModel(c, m);
    auto back = db_.loadModel(id);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->ascii);
    EXPECT_EQ(back->parity, 2);
    EXPECT_EQ(back->keys[0].code, QStringLiteral("41 54 0d"));
    for (const auto& k : back->keys) {
        EXPECT_TRUE(k.ascii);
        EXPECT_EQ(k.parity, 2);
        std::string text;
        pj::link::codeTextToAscii(k.code.toStdString(), text);
        EXPECT_EQ(QString::fromStdString(text),
                  k.slot == 0 ? QStringLiteral("AT") : QStringLiteral("PWR OFF"));
    }

    // Keep the name (no duplicate check against itself), switch to hex.
    ModelInput hex;
    hex.name = QStringLiteral("EB");
    hex.baud = 38400;
    hex.keys = {{QStringLiteral("x"), 5, QStringLiteral("02H50H4fH4eH03")}};
    ASSERT_TRUE(db_.modifyModel(id, hex));
    back = db_.loadModel(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->baud, 38400u);
    ASSERT_EQ(back->keys.size(), 1u);
    EXPECT_EQ(back->keys[0].code, QStringLiteral("02H50H4fH4eH03")); // hex as typed
    EXPECT_FALSE(back->ascii);
    EXPECT_EQ(back->parity, 0);

    // No keys: the model reads as hex, no parity.
    hex.keys.clear();
    hex.name = QStringLiteral("renamed");
    ASSERT_TRUE(db_.modifyModel(id, hex));
    back = db_.loadModel(id);
    EXPECT_TRUE(back->keys.empty());
    EXPECT_EQ(back->name, QStringLiteral("renamed"));
    EXPECT_EQ(*db_.findModel(c, QStringLiteral("renamed")), id);
    EXPECT_FALSE(db_.findModel(c, QStringLiteral("EB")));
}

TEST_F(Ops, SqlMetacharactersRoundTripInEveryTextField) {
    const QStringList nasty = {
        QStringLiteral("O'Brien"),
        QStringLiteral("'; DROP TABLE COP; --"),
        QStringLiteral("\"quoted\" [x] `y`"),
        QStringLiteral("100% _like_ \\ %s %d ?"),
        QStringLiteral("a'b''c"),
        QStringLiteral("\u00A0non-breaking\u3000ideographic space"),
    };
    int n = 0;
    for (const QString& s : nasty) {
        ++n;
        auto cid = db_.addCompany(s);
        ASSERT_TRUE(cid) << s.toStdString();
        EXPECT_EQ(*db_.findCompany(s), *cid);
        ModelInput m;
        m.name = s;
        m.description = s + QStringLiteral("\r\n\t") + s; // line breaks in a description
        m.keys = {{s, 3, QStringLiteral("aa 55")}};
        auto mid = db_.addModel(*cid, m);
        ASSERT_TRUE(mid) << s.toStdString();
        EXPECT_EQ(*db_.findModel(*cid, s), *mid);
        auto back = db_.loadModel(*mid);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->name, s);
        EXPECT_EQ(back->description, s + QStringLiteral("\r\n\t") + s);
        EXPECT_EQ(back->keys[0].function, s);
        // ASCII code text with the printable metacharacters.
        ModelInput a;
        a.name = s + QStringLiteral("-ascii");
        a.ascii = true;
        QString printable;
        for (const QChar c : s) {
            if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
                printable += c;
        }
        a.keys = {{s, 0, printable}};
        auto aid = db_.addModel(*cid, a);
        ASSERT_TRUE(aid) << s.toStdString();
        std::string text;
        pj::link::codeTextToAscii(db_.loadModel(*aid)->keys[0].code.toStdString(), text);
        EXPECT_EQ(QString::fromStdString(text), printable);
        // A duplicate of such a name is still found as a duplicate.
        auto dup = db_.addCompany(s);
        ASSERT_FALSE(dup);
        EXPECT_EQ(dup.error().code, ErrorCode::CompanyExists);
    }
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->companies.size(), static_cast<std::size_t>(nasty.size()));
    for (int i = 0; i < nasty.size(); ++i)
        EXPECT_EQ(tree->companies[i].name, nasty[i]);
    // Deleting them removes exactly those rows.
    ASSERT_TRUE(db_.deleteCompany(*db_.findCompany(nasty[1])));
    EXPECT_EQ(db_.loadTree()->companies.size(), static_cast<std::size_t>(nasty.size() - 1));
    expectSound();
}

TEST_F(Ops, TreeAndAllModelsInOneReadEqualEachModelReadAlone) {
    // Names that a text format could mangle: quotes, backslashes and JSON
    // escapes, a leading U+FEFF, characters beyond the BMP.
    const QStringList names = {
        QStringLiteral("\"q\" \\ \\u0041 \\n"),
        QStringLiteral("\uFEFFbom"),
        QString::fromUtf8("投影机 \xF0\x9F\x98\x80"),
        QStringLiteral("[1,2]"),
        QStringLiteral("e\u0301"),
    };
    for (const QString& n : names)
        ASSERT_TRUE(db_.addCompany(n)) << n.toStdString();
    // Models spread over the companies, one without keys, one ASCII with parity.
    for (int i = 0; i < 12; ++i) {
        ModelInput m = hexModel(names[i % names.size()] + QString::number(i), i % 4);
        m.baud = 1200u * static_cast<std::uint32_t>(i + 1);
        m.description = QStringLiteral("说明 %1\r\n\t\"x\"").arg(i);
        if (i == 7) {
            m.ascii = true;
            m.parity = 2;
            m.keys = {{QStringLiteral("开"), 0, QStringLiteral("PWR ON")}};
        }
        ASSERT_TRUE(db_.addModel(1 + (i * 3) % names.size(), m));
    }
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->companies.size(), static_cast<std::size_t>(names.size()));
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(tree->companies[i].id, i + 1);
        EXPECT_EQ(tree->companies[i].name, names[i]);
    }
    auto all = db_.loadAllModels();
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), tree->models.size());
    ASSERT_EQ(all->size(), 12u);
    for (std::size_t i = 0; i < all->size(); ++i) {
        const ModelRecord& bulk = (*all)[i];
        auto alone = db_.loadModel(static_cast<int>(i + 1));
        ASSERT_TRUE(alone);
        EXPECT_EQ(tree->models[i].id, alone->id);
        EXPECT_EQ(tree->models[i].companyId, alone->companyId);
        EXPECT_EQ(tree->models[i].name, alone->name);
        EXPECT_EQ(bulk.id, alone->id);
        EXPECT_EQ(bulk.companyId, alone->companyId);
        EXPECT_EQ(bulk.companyName, alone->companyName);
        EXPECT_EQ(bulk.name, alone->name);
        EXPECT_EQ(bulk.baud, alone->baud);
        EXPECT_EQ(bulk.description, alone->description);
        EXPECT_EQ(bulk.ascii, alone->ascii);
        EXPECT_EQ(bulk.parity, alone->parity);
        ASSERT_EQ(bulk.keys.size(), alone->keys.size()) << i;
        for (std::size_t k = 0; k < bulk.keys.size(); ++k) {
            EXPECT_EQ(bulk.keys[k].id, alone->keys[k].id);
            EXPECT_EQ(bulk.keys[k].function, alone->keys[k].function);
            EXPECT_EQ(bulk.keys[k].code, alone->keys[k].code);
            EXPECT_EQ(bulk.keys[k].slot, alone->keys[k].slot);
            EXPECT_EQ(bulk.keys[k].ascii, alone->keys[k].ascii);
            EXPECT_EQ(bulk.keys[k].parity, alone->keys[k].parity);
        }
    }
    EXPECT_TRUE((*all)[7].ascii);
    EXPECT_EQ((*all)[7].parity, 2);
    EXPECT_TRUE((*all)[0].keys.empty());

    // An empty catalogue reads as empty lists.
    for (int c = names.size(); c >= 1; --c)
        ASSERT_TRUE(db_.deleteCompany(c));
    EXPECT_TRUE(db_.loadAllModels()->empty());
    EXPECT_TRUE(db_.loadTree()->companies.empty());
}

TEST_F(Ops, CheckReportsEveryBrokenInvariant) {
    company(QStringLiteral("A"));
    model(1, QStringLiteral("m1"));
    model(1, QStringLiteral("m2"));
    expectSound();
    RawDb raw(where_);
    raw.exec(QStringLiteral("Insert Into COP(ID,COP) Values(4,'gap')"));
    raw.exec(QStringLiteral("Insert Into MACHINE(ID,MODEL,CID,BAUD) Values(3,'dangling',7,0)"));
    raw.exec(QStringLiteral("Insert Into FUNKEY(\"FUNCTION\",FUNCODE,MID,TYPE,ISASCII,\"CHECK\") "
                            "Values('x','00',9,0,0,0)"));
    raw.exec(QStringLiteral("Insert Into FUNKEY(\"FUNCTION\",FUNCODE,MID,TYPE,ISASCII,\"CHECK\") "
                            "Values('x','00',1,18,1,2)"));
    auto problems = db_.checkCatalogue();
    ASSERT_TRUE(problems);
    std::set<ProblemKind> kinds;
    for (const auto& p : *problems) {
        kinds.insert(p.kind);
        EXPECT_FALSE(p.message.isEmpty());
    }
    EXPECT_EQ(kinds,
              (std::set<ProblemKind>{ProblemKind::CompanyIdNotDense, ProblemKind::DanglingCompany,
                                     ProblemKind::DanglingModel, ProblemKind::MixedAscii,
                                     ProblemKind::MixedParity, ProblemKind::SlotOutOfRange,
                                     ProblemKind::BadSpeed})); // the dangling model's speed 0
    raw.exec(QStringLiteral("Update MACHINE Set ID=5 Where ID=2"));
    problems = db_.checkCatalogue();
    bool modelGap = false;
    for (const auto& p : *problems)
        modelGap = modelGap || p.kind == ProblemKind::ModelIdNotDense;
    EXPECT_TRUE(modelGap);
}

TEST_F(Ops, SelectionIsFilledFromTheModel) {
    const int c = company(QStringLiteral("A"));
    ModelInput m = hexModel(QStringLiteral("m"), 3);
    m.baud = 19200;
    m.parity = 1;
    const int id = *db_.addModel(c, m);
    pj::link::SelectedModel sel;
    fillSelectedModel(*db_.loadModel(id), sel);
    EXPECT_EQ(sel.selectedModelId, id);
    EXPECT_EQ(sel.selectedBaud, 19200u);
    EXPECT_EQ(sel.selectedBaudText, "19200");
    EXPECT_EQ(sel.lastParity, 1u);
    ASSERT_EQ(sel.rows.size(), 3u);
    EXPECT_TRUE(sel.rows[0].selected);
    EXPECT_FALSE(sel.rows[1].selected);
    EXPECT_EQ(sel.rows[2].codeText, "a0 02 0d");
    EXPECT_EQ(sel.rows[2].keyType, 2u);
}

TEST(FunctionKeys, EighteenSlotsInGroupOrder) {
    EXPECT_EQ(functionKeyName(0), "开机1");
    EXPECT_EQ(functionKeyName(11), "VGA3");
    EXPECT_EQ(functionKeyName(17), "静音");
    EXPECT_EQ(functionKeyName(18), "");
    EXPECT_EQ(functionKeyName(-1), "");
    for (const auto& k : kFunctionKeyTable)
        EXPECT_EQ(functionKeySlot(k.name), k.slot);
    EXPECT_FALSE(functionKeySlot("开机"));
}

} // namespace
} // namespace pj::catalogue::test

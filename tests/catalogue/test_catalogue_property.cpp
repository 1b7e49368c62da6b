// Long random sequences of catalogue operations against a plain in-memory
// model of the catalogue: after every step the file equals the model and the
// check finds nothing.

#include "catalogue_test_util.h"

#include <random>

namespace pj::catalogue::test {
namespace {

struct MemKey {
    QString function, code;
    int slot;
};
struct MemModel {
    int companyId;
    QString name;
    std::uint32_t baud;
    QString description;
    int parity;
    bool ascii;
    std::vector<MemKey> keys;
};

// IDs are positions + 1, as the catalogue keeps them.
struct MemCatalogue {
    std::vector<QString> companies;
    std::vector<MemModel> models;

    bool companyNameTaken(const QString& n) const {
        return std::find(companies.begin(), companies.end(), n) != companies.end();
    }
    bool modelNameTaken(int cid, const QString& n, int except = 0) const {
        for (std::size_t i = 0; i < models.size(); ++i) {
            if (models[i].companyId == cid && models[i].name == n && int(i) + 1 != except)
                return true;
        }
        return false;
    }
    void deleteModel(int id) { models.erase(models.begin() + (id - 1)); }
    void deleteCompany(int k) {
        std::erase_if(models, [k](const MemModel& m) { return m.companyId == k; });
        for (auto& m : models) {
            if (m.companyId > k)
                --m.companyId;
        }
        companies.erase(companies.begin() + (k - 1));
    }
};

class Property : public CatalogueFixture {
protected:
    std::mt19937 rng{7};
    MemCatalogue mem;

    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    // Few distinct names, so that duplicates come up often; some carry quotes.
    QString randomName() {
        static const char* const parts[] = {"A", "B'", "\"C\"", "D;--", "E%", "中"};
        QString s;
        for (int i = 0, n = 1 + pick(2); i < n; ++i)
            s += QString::fromUtf8(parts[pick(6)]);
        return s;
    }

    ModelInput randomModel() {
        ModelInput m;
        m.name = pick(20) == 0 ? QString() : randomName();
        m.baud = static_cast<std::uint32_t>(300 << pick(9));
        m.parity = pick(3);
        m.ascii = pick(2) == 1;
        m.description = pick(3) == 0 ? QString() : QStringLiteral("说明 '%1'").arg(pick(100));
        for (int i = 0, n = pick(5); i < n; ++i) {
            KeyInput k;
            k.function = randomName();
            k.slot = pick(18);
            k.code = m.ascii ? QStringLiteral("CMD '%1'").arg(pick(50))
                             : QStringLiteral("%1 0d").arg(pick(256), 2, 16, QLatin1Char('0'));
            m.keys.push_back(k);
        }
        return m;
    }

    MemModel toMem(int cid, const ModelInput& in) {
        MemModel m{cid, in.name, in.baud, in.description, in.parity, in.ascii, {}};
        for (const auto& k : in.keys)
            m.keys.push_back(
                {k.function, *CatalogueDb::storedCodeText(k.code, in.ascii, false), k.slot});
        return m;
    }

    void expectEqualToModel(int step) {
        auto tree = db_.loadTree();
        ASSERT_TRUE(tree);
        ASSERT_EQ(tree->companies.size(), mem.companies.size()) << "step " << step;
        for (std::size_t i = 0; i < mem.companies.size(); ++i) {
            EXPECT_EQ(tree->companies[i].id, int(i) + 1);
            EXPECT_EQ(tree->companies[i].name, mem.companies[i]) << "step " << step;
        }
        ASSERT_EQ(tree->models.size(), mem.models.size()) << "step " << step;
        for (std::size_t i = 0; i < mem.models.size(); ++i) {
            const MemModel& want = mem.models[i];
            auto got = db_.loadModel(int(i) + 1);
            ASSERT_TRUE(got);
            EXPECT_EQ(got->companyId, want.companyId) << "step " << step;
            EXPECT_EQ(got->name, want.name);
            EXPECT_EQ(got->baud, want.baud);
            EXPECT_EQ(got->description, want.description);
            ASSERT_EQ(got->keys.size(), want.keys.size()) << "step " << step;
            for (std::size_t k = 0; k < want.keys.size(); ++k) {
                EXPECT_EQ(got->keys[k].function, want.keys[k].function);
                EXPECT_EQ(got->keys[k].code, want.keys[k].code);
                EXPECT_EQ(got->keys[k].slot, want.keys[k].slot);
                EXPECT_EQ(got->keys[k].parity, want.parity);
                EXPECT_EQ(got->keys[k].ascii, want.ascii);
            }
        }
        auto problems = db_.checkCatalogue();
        ASSERT_TRUE(problems);
        EXPECT_TRUE(problems->empty())
            << "step " << step << ": " << problems->front().message.toStdString();
    }
};

TEST_F(Property, RandomOperationsKeepFileEqualToModel) {
    for (int step = 0; step < 600; ++step) {
        const int op = pick(10);
        const int nc = static_cast<int>(mem.companies.size());
        const int nm = static_cast<int>(mem.models.size());
        if (op < 2 || nc == 0) {
            const QString name = randomName();
            auto r = db_.addCompany(name);
            if (mem.companyNameTaken(name)) {
                ASSERT_FALSE(r);
                EXPECT_EQ(r.error().code, ErrorCode::CompanyExists);
            } else {
                ASSERT_TRUE(r);
                mem.companies.push_back(name);
                EXPECT_EQ(*r, nc + 1);
            }
        } else if (op < 6) {
            const int cid = 1 + pick(nc);
            const ModelInput in = randomModel();
            auto r = db_.addModel(cid, in);
            if (in.name.isEmpty()) {
                ASSERT_FALSE(r);
                EXPECT_EQ(r.error().code, ErrorCode::EmptyModelName);
            } else if (mem.modelNameTaken(cid, in.name)) {
                ASSERT_FALSE(r);
                EXPECT_EQ(r.error().code, ErrorCode::ModelExists);
            } else {
                ASSERT_TRUE(r) << r.error().message.toStdString();
                EXPECT_EQ(*r, nm + 1);
                mem.models.push_back(toMem(cid, in));
            }
        } else if (op < 7 && nm > 0) {
            const int id = 1 + pick(nm);
            const ModelInput in = randomModel();
            auto r = db_.modifyModel(id, in);
            const int cid = mem.models[id - 1].companyId;
            if (in.name.isEmpty()) {
                ASSERT_FALSE(r);
            } else if (in.name != mem.models[id - 1].name && mem.modelNameTaken(cid, in.name, id)) {
                ASSERT_FALSE(r);
                EXPECT_EQ(r.error().code, ErrorCode::ModelExists);
            } else {
                ASSERT_TRUE(r) << r.error().message.toStdString();
                mem.models[id - 1] = toMem(cid, in);
            }
        } else if (op < 9 && nm > 0) {
            const int id = 1 + pick(nm);
            ASSERT_TRUE(db_.deleteModel(id));
            mem.deleteModel(id);
        } else if (nc > 0) {
            const int k = 1 + pick(nc);
            ASSERT_TRUE(db_.deleteCompany(k));
            mem.deleteCompany(k);
        }
        expectEqualToModel(step);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace pj::catalogue::test

// Two programs on one catalogue, as two technicians sharing it: a change
// made on what one read is refused, writing nothing, when the other deleted,
// renamed or changed that row meanwhile, and applied to the right row when
// the other only renumbered it; the change stamp tells when to reload; a
// writer that keeps the catalogue locked makes changes fail as busy.

#include "catalogue_test_util.h"

#include <QElapsedTimer>

namespace pj::catalogue::test {
namespace {

class Shared : public CatalogueFixture {
protected:
    void SetUp() override {
        CatalogueFixture::SetUp();
        if (HasFatalFailure())
            return;
        for (const char* c : {"A", "B", "C"})
            company(QString::fromLatin1(c));
        model(1, QStringLiteral("a1"));
        model(2, QStringLiteral("b1"), 3);
        model(2, QStringLiteral("b2"));
        model(3, QStringLiteral("c1"));
        ASSERT_TRUE(other_.connect(where_));
    }

    ModelInput changed(const ModelRecord& m) {
        ModelInput in;
        in.name = m.name;
        in.baud = 38400;
        in.keys = {{QStringLiteral("new"), 5, QStringLiteral("55 aa")}};
        return in;
    }

    void expectConflict(const Status& r, const char* contains) {
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().code, ErrorCode::Conflict);
        EXPECT_TRUE(r.error().message.contains(QString::fromUtf8(contains)))
            << r.error().message.toStdString();
    }

    CatalogueDb other_; // the colleague
};

TEST_F(Shared, ModifyingAModelAColleagueDeletedRenamedOrChangedWritesNothing) {
    RawDb raw(where_);
    // Deleted meanwhile.
    auto b1 = db_.loadModel(2);
    ASSERT_TRUE(b1);
    EXPECT_EQ(b1->companyName, QStringLiteral("B"));
    ASSERT_TRUE(other_.deleteModel(2));
    auto before = raw.dump();
    expectConflict(db_.modifyModel(*b1, changed(*b1)), "已被他人删除或改名");
    expectConflict(db_.deleteModel(*b1), "已被他人删除或改名");
    EXPECT_EQ(raw.dump(), before);

    // Renamed meanwhile.
    auto b2 = db_.loadModel(2);
    ASSERT_TRUE(b2);
    ModelInput rename = changed(*b2);
    rename.name = QStringLiteral("b2-renamed");
    ASSERT_TRUE(other_.modifyModel(*other_.loadModel(2), rename));
    before = raw.dump();
    expectConflict(db_.modifyModel(*b2, changed(*b2)), "已被他人删除或改名");
    EXPECT_EQ(raw.dump(), before);

    // Changed meanwhile (speed and keys): not silently undone.
    auto c1 = db_.loadModel(3);
    ASSERT_TRUE(c1);
    ModelInput theirs = changed(*c1);
    theirs.baud = 57600;
    ASSERT_TRUE(other_.modifyModel(*other_.loadModel(3), theirs));
    before = raw.dump();
    expectConflict(db_.modifyModel(*c1, changed(*c1)), "已被他人修改");
    expectConflict(db_.deleteModel(*c1), "已被他人修改");
    EXPECT_EQ(raw.dump(), before);
    // Read again, the change goes through.
    ASSERT_TRUE(db_.modifyModel(*db_.loadModel(3), changed(*c1)));
    EXPECT_EQ(db_.loadModel(3)->baud, 38400u);
    expectSound();
}

TEST_F(Shared, AChangeFollowsItsRowThroughAColleaguesRenumbering) {
    auto c1 = db_.loadModel(4); // company C's model
    ASSERT_TRUE(c1);
    const CompanyEntry companyC{3, QStringLiteral("C")};
    // The colleague deletes company A and its model: C becomes 2, c1 becomes 3.
    ASSERT_TRUE(other_.deleteCompany(CompanyEntry{1, QStringLiteral("A")}));
    ASSERT_TRUE(db_.modifyModel(*c1, changed(*c1)));
    auto now = db_.loadModel(3);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->name, QStringLiteral("c1"));
    EXPECT_EQ(now->companyName, QStringLiteral("C"));
    EXPECT_EQ(now->baud, 38400u);
    // A model added to C as read before the renumbering lands under C, not
    // under whatever company now has number 3 (there is none).
    auto id = db_.addModel(companyC, hexModel(QStringLiteral("c2")));
    ASSERT_TRUE(id) << id.error().message.toStdString();
    EXPECT_EQ(db_.loadModel(*id)->companyName, QStringLiteral("C"));
    // Deleting B as read (number 2 then) deletes B, not C (number 2 now).
    ASSERT_TRUE(db_.deleteCompany(CompanyEntry{2, QStringLiteral("B")}));
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->companies.size(), 1u);
    EXPECT_EQ(tree->companies[0].name, QStringLiteral("C"));
    EXPECT_EQ(tree->models.size(), 2u);
    expectSound();
}

TEST_F(Shared, ACompanyAColleagueDeletedTakesNoModelAndIsNotDeletedTwice) {
    ASSERT_TRUE(other_.deleteCompany(CompanyEntry{2, QStringLiteral("B")}));
    RawDb raw(where_);
    const auto before = raw.dump();
    auto id = db_.addModel(CompanyEntry{2, QStringLiteral("B")}, hexModel(QStringLiteral("x")));
    ASSERT_FALSE(id);
    EXPECT_EQ(id.error().code, ErrorCode::Conflict);
    EXPECT_TRUE(id.error().message.contains(QStringLiteral("已被他人删除")));
    expectConflict(db_.deleteCompany(CompanyEntry{2, QStringLiteral("B")}), "已被他人删除");
    EXPECT_EQ(raw.dump(), before);
}

TEST_F(Shared, TheChangeStampMovesWithEveryChangeByAnyone) {
    auto first = db_.changeStamp();
    ASSERT_TRUE(first) << first.error().message.toStdString();
    auto tree = db_.loadTree();
    ASSERT_TRUE(tree);
    // Reading changes nothing. (The server's log position may also move for
    // reasons of the server's own, so this is asserted on files only.)
    const bool exact = testBackend() != Backend::Postgres;
    if (exact) {
        EXPECT_EQ(*db_.changeStamp(), *first);
    }
    ASSERT_TRUE(other_.addCompany(QStringLiteral("D")));
    auto afterOther = db_.changeStamp();
    ASSERT_TRUE(afterOther);
    EXPECT_NE(*afterOther, *first);
    ASSERT_TRUE(db_.modifyModel(*db_.loadModel(1), changed(*db_.loadModel(1))));
    auto afterOwn = db_.changeStamp();
    ASSERT_TRUE(afterOwn);
    EXPECT_NE(*afterOwn, *afterOther);
    // A refused change moves nothing.
    ASSERT_FALSE(db_.addCompany(QStringLiteral("D")));
    if (exact) {
        EXPECT_EQ(*db_.changeStamp(), *afterOwn);
    }
}

TEST_F(Shared, AChangeWhileAnotherProgramHoldsTheWriteLockFailsAsBusyAndWritesNothing) {
    RawDb holder(where_);
    ASSERT_TRUE(holder.holdWriteLock());
    db_.setBusyTimeout(300);
    QElapsedTimer t;
    t.start();
    auto r = db_.addCompany(QStringLiteral("D"));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, ErrorCode::Busy);
    EXPECT_TRUE(r.error().message.contains(QStringLiteral("正被另一个程序使用")));
    EXPECT_GE(t.elapsed(), 250);
    auto del = db_.deleteModel(1);
    ASSERT_FALSE(del);
    EXPECT_EQ(del.error().code, ErrorCode::Busy);
    holder.release();
    RawDb raw(where_);
    EXPECT_EQ(raw.rows(QStringLiteral("Select Count(*) From COP")), std::vector<std::string>{"3"});
    // Once the lock is gone the same change goes through.
    EXPECT_EQ(*db_.addCompany(QStringLiteral("D")), 4);
    expectSound();
}

} // namespace
} // namespace pj::catalogue::test

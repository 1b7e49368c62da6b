// The invariant check: every way the catalogue can differ from what the
// operations keep, each named with the rows concerned.

#include "catalogue/cataloguedb_p.h"
#include "catalogue/functionkeys.h"

#include <algorithm>
#include <map>
#include <set>

namespace pj::catalogue {

using detail::dbError;
using detail::notFound;
using detail::Stmt;
using detail::toId;

namespace {

// Describes how a list of IDs differs from 1..n: missing runs, duplicates.
void reportIds(std::vector<int> ids, ProblemKind kind, const QString& what,
               std::vector<Problem>& out) {
    std::sort(ids.begin(), ids.end());
    int expected = 1;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const int id = ids[i];
        if (i > 0 && id == ids[i - 1]) {
            if (i < 2 || ids[i - 2] != id)
                out.push_back({kind, QStringLiteral("%1编号 %2 重复").arg(what).arg(id)});
            continue;
        }
        if (id < expected) {
            out.push_back({kind, QStringLiteral("%1编号 %2 小于 1").arg(what).arg(id)});
            continue;
        }
        if (id > expected) {
            out.push_back(
                {kind,
                 id - 1 == expected
                     ? QStringLiteral("缺少%1编号 %2").arg(what).arg(expected)
                     : QStringLiteral("缺少%1编号 %2..%3").arg(what).arg(expected).arg(id - 1)});
        }
        expected = id + 1;
    }
}

} // namespace

Result<std::vector<Problem>> CatalogueDb::checkCatalogue() {
    if (!isOpen())
        return notFound();
    auto tree = loadTree();
    if (!tree)
        return tree.error();
    std::vector<Problem> out;

    std::vector<int> companyIds;
    std::set<int> companySet;
    std::map<QString, int> companyNames;
    for (const auto& c : tree->companies) {
        companyIds.push_back(c.id);
        companySet.insert(c.id);
        if (++companyNames[c.name] == 2)
            out.push_back({ProblemKind::BadValue, QStringLiteral("公司名称重复：%1").arg(c.name)});
    }
    reportIds(companyIds, ProblemKind::CompanyIdNotDense, QStringLiteral("公司"), out);

    std::vector<int> modelIds;
    std::set<int> modelSet;
    std::map<std::pair<int, QString>, int> modelNames;
    for (const auto& m : tree->models) {
        modelIds.push_back(m.id);
        modelSet.insert(m.id);
        if (!companySet.count(m.companyId))
            out.push_back(
                {ProblemKind::DanglingCompany, QStringLiteral("型号 %1（%2）的公司编号 %3 不存在")
                                                   .arg(m.id)
                                                   .arg(m.name)
                                                   .arg(m.companyId)});
        if (++modelNames[{m.companyId, m.name}] == 2)
            out.push_back(
                {ProblemKind::BadValue,
                 QStringLiteral("公司 %1 中型号名称重复：%2").arg(m.companyId).arg(m.name)});
    }
    reportIds(modelIds, ProblemKind::ModelIdNotDense, QStringLiteral("型号"), out);

    auto q = d_->run(Stmt::CheckKeys, {});
    if (!q)
        return q.error();
    struct PerModel {
        int rows = 0;
        std::set<int> ascii, parity;
    };
    std::map<int, PerModel> perModel;
    while ((*q)->next()) {
        const int keyId = toId((*q)->value(0));
        const QVariant mid = (*q)->value(1);
        const QVariant type = (*q)->value(2);
        const int ascii = (*q)->value(3).toInt();
        const int parity = (*q)->value(4).toInt();
        if (mid.isNull()) {
            out.push_back({ProblemKind::DanglingModel,
                           QStringLiteral("功能码行 %1 没有型号编号").arg(keyId)});
            continue;
        }
        auto& pm = perModel[mid.toInt()];
        ++pm.rows;
        pm.ascii.insert(ascii);
        pm.parity.insert(parity);
        if (type.isNull() || !isValidSlot(type.toLongLong()))
            out.push_back({ProblemKind::SlotOutOfRange,
                           QStringLiteral("功能码行 %1（型号 %2）的功能键位置 %3 不在 0..17 之间")
                               .arg(keyId)
                               .arg(mid.toInt())
                               .arg(type.isNull() ? QStringLiteral("空") : type.toString())});
        if (ascii != 0 && ascii != 1)
            out.push_back(
                {ProblemKind::BadValue,
                 QStringLiteral("功能码行 %1 的 ISASCII 值 %2 无效").arg(keyId).arg(ascii)});
        if (parity < 0 || parity > 2)
            out.push_back({ProblemKind::BadValue,
                           QStringLiteral("功能码行 %1 的校验位 %2 无效").arg(keyId).arg(parity)});
    }
    if ((*q)->lastError().isValid())
        return dbError((*q)->lastError());
    (*q)->finish();
    for (const auto& [mid, pm] : perModel) {
        if (!modelSet.count(mid))
            out.push_back(
                {ProblemKind::DanglingModel,
                 QStringLiteral("型号编号 %1 不存在，却有 %2 行功能码").arg(mid).arg(pm.rows)});
        if (pm.ascii.size() > 1)
            out.push_back({ProblemKind::MixedAscii,
                           QStringLiteral("型号 %1 的功能码行 ISASCII 不一致").arg(mid)});
        if (pm.parity.size() > 1)
            out.push_back({ProblemKind::MixedParity,
                           QStringLiteral("型号 %1 的功能码行校验位不一致").arg(mid)});
    }
    return out;
}

} // namespace pj::catalogue

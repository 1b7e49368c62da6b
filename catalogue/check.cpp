// The invariant check: every way the catalogue can differ from what the
// operations keep, each named with the rows concerned.

#include "catalogue/cataloguedb_p.h"
#include "catalogue/checks.h"
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

namespace {

QString valueText(const QVariant& v) {
    return v.isNull() ? QStringLiteral("空") : v.toString();
}

Result<std::vector<Problem>> check(CatalogueDb::Impl& d) {
    auto tree = d.loadTree();
    if (!tree)
        return tree.error();
    std::vector<Problem> out;

    std::vector<int> companyIds;
    std::map<int, QString> companyName;
    std::map<QString, int> companyNames;
    for (const auto& c : tree->companies) {
        companyIds.push_back(c.id);
        companyName.emplace(c.id, c.name);
        if (++companyNames[c.name] == 2)
            out.push_back({ProblemKind::BadValue, QStringLiteral("公司名称重复：%1").arg(c.name)});
        if (auto r = checkCompanyName(c.name); !r)
            out.push_back({ProblemKind::BadName,
                           QStringLiteral("公司 %1 的名称：%2").arg(c.id).arg(r.error().message)});
    }
    reportIds(companyIds, ProblemKind::CompanyIdNotDense, QStringLiteral("公司"), out);

    // "型号 3（爱普生 / EB-X）": the model as the user finds it in the tree.
    std::map<int, QString> modelLabel;
    const auto labelOf = [&](int id) {
        auto it = modelLabel.find(id);
        return it != modelLabel.end() ? it->second : QStringLiteral("型号 %1").arg(id);
    };
    std::vector<int> modelIds;
    std::map<std::pair<int, QString>, int> modelNames;
    for (const auto& m : tree->models) {
        modelIds.push_back(m.id);
        auto company = companyName.find(m.companyId);
        modelLabel.emplace(
            m.id,
            QStringLiteral("型号 %1（%2 / %3）")
                .arg(m.id)
                .arg(company != companyName.end() ? company->second : QStringLiteral("?"), m.name));
        if (company == companyName.end())
            out.push_back(
                {ProblemKind::DanglingCompany, QStringLiteral("型号 %1（%2）的公司编号 %3 不存在")
                                                   .arg(m.id)
                                                   .arg(m.name)
                                                   .arg(m.companyId)});
        if (++modelNames[{m.companyId, m.name}] == 2)
            out.push_back(
                {ProblemKind::BadValue,
                 QStringLiteral("公司 %1 中型号名称重复：%2").arg(m.companyId).arg(m.name)});
        if (auto r = checkModelName(m.name); !r)
            out.push_back({ProblemKind::BadName,
                           QStringLiteral("型号 %1 的名称：%2").arg(m.id).arg(r.error().message)});
    }
    reportIds(modelIds, ProblemKind::ModelIdNotDense, QStringLiteral("型号"), out);

    // Speeds: what a reader takes as an unsigned 32-bit number, 1 or more.
    {
        auto q = d.run(Stmt::CheckModels, {});
        if (!q)
            return q.error();
        while ((*q)->next()) {
            const int id = toId((*q)->value(0));
            const QVariant baud = (*q)->value(3);
            const auto v = detail::storedInteger(baud);
            if (!v || *v < 1 || *v > 0xFFFFFFFFLL)
                out.push_back({ProblemKind::BadSpeed,
                               QStringLiteral("%1的波特率 %2 无效（应为 1 到 4294967295）")
                                   .arg(labelOf(id), valueText(baud))});
        }
        if ((*q)->lastError().isValid())
            return dbError((*q)->lastError());
        (*q)->finish();
    }

    auto q = d.run(Stmt::CheckKeys, {});
    if (!q)
        return q.error();
    struct PerModel {
        int rows = 0;
        std::set<qint64> ascii, parity;
    };
    std::map<int, PerModel> perModel;
    while ((*q)->next()) {
        const int keyId = toId((*q)->value(0));
        const QVariant mid = (*q)->value(1);
        const QVariant type = (*q)->value(2);
        const QVariant asciiValue = (*q)->value(3);
        const QVariant parityValue = (*q)->value(4);
        if (mid.isNull()) {
            out.push_back({ProblemKind::DanglingModel,
                           QStringLiteral("功能码行 %1 没有型号编号").arg(keyId)});
            continue;
        }
        const int model = mid.toInt();
        const QString where = QStringLiteral("%1的功能码行 %2").arg(labelOf(model)).arg(keyId);
        const auto slot = detail::storedInteger(type);
        const auto ascii = detail::storedInteger(asciiValue);
        const auto parity = detail::storedInteger(parityValue);
        auto& pm = perModel[model];
        ++pm.rows;
        pm.ascii.insert(ascii.value_or(-1));
        pm.parity.insert(parity.value_or(-1));
        if (!slot || !isValidSlot(*slot))
            out.push_back(
                {ProblemKind::SlotOutOfRange,
                 QStringLiteral("%1：功能键位置 %2 不在 0..17 之间").arg(where, valueText(type))});
        if (!ascii || (*ascii != 0 && *ascii != 1))
            out.push_back(
                {ProblemKind::BadValue,
                 QStringLiteral("%1：ISASCII 值 %2 无效").arg(where, valueText(asciiValue))});
        if (!parity || *parity < 0 || *parity > 2)
            out.push_back({ProblemKind::BadValue,
                           QStringLiteral("%1：校验位 %2 无效（应为 0 无校验、1 奇校验、2 偶校验）")
                               .arg(where, valueText(parityValue))});
    }
    if ((*q)->lastError().isValid())
        return dbError((*q)->lastError());
    (*q)->finish();
    for (const auto& [mid, pm] : perModel) {
        if (!modelLabel.count(mid))
            out.push_back(
                {ProblemKind::DanglingModel,
                 QStringLiteral("型号编号 %1 不存在，却有 %2 行功能码").arg(mid).arg(pm.rows)});
        if (pm.ascii.size() > 1)
            out.push_back({ProblemKind::MixedAscii,
                           QStringLiteral("%1的功能码行 ISASCII 不一致").arg(labelOf(mid))});
        if (pm.parity.size() > 1)
            out.push_back({ProblemKind::MixedParity,
                           QStringLiteral("%1的功能码行校验位不一致").arg(labelOf(mid))});
    }
    return out;
}

} // namespace

Result<std::vector<Problem>> CatalogueDb::checkCatalogue() {
    if (!isOpen())
        return notFound();
    return d_->transaction<std::vector<Problem>>(TxKind::Read, [&] { return check(*d_); });
}

} // namespace pj::catalogue

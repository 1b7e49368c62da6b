// Deleting models and companies. Company and model IDs stay dense from 1:
// every delete moves the rows above the removed ones down and rewrites the
// references to them, in the same transaction.

#include "catalogue/cataloguedb_p.h"

#include <algorithm>

namespace pj::catalogue {

using detail::notFound;
using detail::Stmt;
using detail::toId;

Status CatalogueDb::Impl::deleteModel(int id) {
    auto q = run(Stmt::ModelById, {id});
    if (!q)
        return q.error();
    const bool found = (*q)->next();
    (*q)->finish();
    if (!found)
        return Error{ErrorCode::NoSuchModel, QStringLiteral("没找到该型号")};
    for (Stmt s :
         {Stmt::DeleteKeysOfModel, Stmt::DeleteModel, Stmt::RenumberModels, Stmt::RenumberKeys}) {
        if (auto r = exec(s, {id}); !r)
            return r;
    }
    return {};
}

Status CatalogueDb::Impl::deleteCompany(int k) {
    auto company = companyExists(k);
    if (!company)
        return company.error();
    if (!*company)
        return Error{ErrorCode::NoSuchCompany, QStringLiteral("没找到该公司")};
    // The IDs of the company's models, ascending.
    std::vector<int> removed;
    {
        auto q = run(Stmt::ModelsOfCompany, {k});
        if (!q)
            return q.error();
        while ((*q)->next())
            removed.push_back(toId((*q)->value(0)));
        (*q)->finish();
    }
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    if (!removed.empty()) {
        if (auto r = exec(Stmt::DeleteKeysOfCompany, {k}); !r)
            return r;
        if (auto r = exec(Stmt::DeleteModelsOfCompany, {k}); !r)
            return r;
        // The IDs between removed[i] and removed[i+1] move down by i+1.
        for (std::size_t i = 0; i < removed.size(); ++i) {
            const int shift = static_cast<int>(i + 1);
            const int from = removed[i];
            const bool tail = i + 1 == removed.size();
            if (!tail && removed[i + 1] == from + 1)
                continue; // nothing lies between two adjacent removed IDs
            Status r = tail ? exec(Stmt::ShiftModelTail, {shift, from})
                            : exec(Stmt::ShiftModelRange, {shift, from, removed[i + 1]});
            if (!r)
                return r;
            r = tail ? exec(Stmt::ShiftKeyTail, {shift, from})
                     : exec(Stmt::ShiftKeyRange, {shift, from, removed[i + 1]});
            if (!r)
                return r;
        }
    }
    for (Stmt s : {Stmt::DeleteCompany, Stmt::RenumberCids, Stmt::RenumberCompanies}) {
        if (auto r = exec(s, {k}); !r)
            return r;
    }
    return {};
}

Status CatalogueDb::deleteModel(int modelId) {
    if (!isOpen())
        return notFound();
    return d_->transaction<void>([&] { return d_->deleteModel(modelId); });
}

Status CatalogueDb::deleteCompany(int companyId) {
    if (!isOpen())
        return notFound();
    return d_->transaction<void>([&] { return d_->deleteCompany(companyId); });
}

Status CatalogueDb::deleteModel(const ModelRecord& asRead) {
    if (!isOpen())
        return notFound();
    return d_->transaction<void>([&]() -> Status {
        auto current = d_->currentModel(asRead);
        if (!current)
            return current.error();
        return d_->deleteModel(current->id);
    });
}

Status CatalogueDb::deleteCompany(const CompanyEntry& company) {
    if (!isOpen())
        return notFound();
    return d_->transaction<void>([&]() -> Status {
        auto id = d_->currentCompanyId(company);
        if (!id)
            return id.error();
        return d_->deleteCompany(*id);
    });
}

} // namespace pj::catalogue

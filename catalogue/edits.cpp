// Changing the catalogue: adding companies and models, modifying a model, and
// importing a snapshot. Every value passes the checks of checks.h before
// anything is written.

#include "catalogue/cataloguedb_p.h"
#include "catalogue/checks.h"

#include <map>

namespace pj::catalogue {

using detail::notFound;
using detail::Stmt;

// ---- operation bodies, run inside a write transaction -----------------------

Result<int> CatalogueDb::Impl::addCompany(const QString& company) {
    auto dup = run(Stmt::DuplicateCompany, {company});
    if (!dup)
        return dup.error();
    const bool exists = (*dup)->next();
    (*dup)->finish();
    if (exists)
        return Error{ErrorCode::CompanyExists, text::kCompanyExists};
    auto max = scalar(Stmt::MaxCompanyId, {});
    if (!max)
        return max.error();
    const int id = max->value_or(0) + 1;
    if (auto r = exec(Stmt::InsertCompany, {id, company}); !r)
        return r.error();
    return id;
}

Status CatalogueDb::Impl::insertKeys(int modelId, const ModelInput& m) {
    for (const KeyInput& k : m.keys) {
        auto code = CatalogueDb::storedCodeText(k.code, m.ascii, m.codesStored);
        if (!code)
            return code.error();
        if (auto r = exec(Stmt::InsertKey,
                          {k.function, *code, modelId, k.slot, m.ascii ? 1 : 0, m.parity});
            !r)
            return r;
    }
    return {};
}

Result<int> CatalogueDb::Impl::addModel(int companyId, const ModelInput& m) {
    auto company = companyExists(companyId);
    if (!company)
        return company.error();
    if (!*company)
        return Error{ErrorCode::NoSuchCompany, QStringLiteral("没找到该公司")};
    auto taken = modelNameTaken(companyId, m.name);
    if (!taken)
        return taken.error();
    if (*taken)
        return Error{ErrorCode::ModelExists, text::kModelExists};
    auto max = scalar(Stmt::MaxModelId, {});
    if (!max)
        return max.error();
    const int id = max->value_or(0) + 1;
    if (auto r = exec(Stmt::InsertModel,
                      {id, m.name, companyId, static_cast<int>(m.baud), m.description});
        !r)
        return r.error();
    if (auto r = insertKeys(id, m); !r)
        return r.error();
    return id;
}

Status CatalogueDb::Impl::modifyModel(int id, const ModelInput& m) {
    auto current = loadModel(id);
    if (!current)
        return current.error();
    if (m.name != current->name) {
        auto taken = modelNameTaken(current->companyId, m.name);
        if (!taken)
            return taken.error();
        if (*taken)
            return Error{ErrorCode::ModelExists, text::kModelExists};
    }
    if (auto r = exec(Stmt::UpdateModel, {m.name, static_cast<int>(m.baud), m.description, id}); !r)
        return r;
    if (auto r = exec(Stmt::DeleteKeysOfModel, {id}); !r)
        return r;
    return insertKeys(id, m);
}

// ---- validation -------------------------------------------------------------

Result<QString> CatalogueDb::storedCodeText(const QString& typed, bool ascii, bool codesStored) {
    if (!codesStored)
        return checkCodeText(typed, ascii);
    if (auto r = checkStoredCode(typed); !r)
        return r.error();
    return typed;
}

Status CatalogueDb::validateModelInput(const ModelInput& m) {
    if (auto fault = findInputFault(m))
        return fault->error;
    return {};
}

// ---- operations ---------------------------------------------------------------

Result<int> CatalogueDb::addCompany(const QString& name) {
    if (!isOpen())
        return notFound();
    if (auto r = checkCompanyName(name); !r)
        return r.error();
    return d_->transaction<int>([&] { return d_->addCompany(name); });
}

Result<int> CatalogueDb::addModel(int companyId, const ModelInput& model) {
    if (!isOpen())
        return notFound();
    if (auto r = validateModelInput(model); !r)
        return r.error();
    return d_->transaction<int>([&] { return d_->addModel(companyId, model); });
}

Result<int> CatalogueDb::addModel(const CompanyEntry& company, const ModelInput& model) {
    if (!isOpen())
        return notFound();
    if (auto r = validateModelInput(model); !r)
        return r.error();
    return d_->transaction<int>([&]() -> Result<int> {
        auto id = d_->currentCompanyId(company);
        if (!id)
            return id.error();
        return d_->addModel(*id, model);
    });
}

Status CatalogueDb::modifyModel(int modelId, const ModelInput& model) {
    if (!isOpen())
        return notFound();
    if (auto r = validateModelInput(model); !r)
        return r;
    return d_->transaction<void>([&] { return d_->modifyModel(modelId, model); });
}

Status CatalogueDb::modifyModel(const ModelRecord& asRead, const ModelInput& model) {
    if (!isOpen())
        return notFound();
    if (auto r = validateModelInput(model); !r)
        return r;
    return d_->transaction<void>([&]() -> Status {
        auto current = d_->currentModel(asRead);
        if (!current)
            return current.error();
        return d_->modifyModel(current->id, model);
    });
}

Status CatalogueDb::importSnapshot(const CatalogueSnapshot& snapshot) {
    if (!isOpen())
        return notFound();
    for (const QString& c : snapshot.companies) {
        if (auto r = checkCompanyName(c); !r)
            return Error{r.error().code, QStringLiteral("%1：%2").arg(c, r.error().message)};
    }
    for (const auto& m : snapshot.models) {
        if (auto r = validateModelInput(m.input); !r)
            return Error{
                r.error().code,
                QStringLiteral("%1 / %2：%3").arg(m.company, m.input.name, r.error().message)};
    }
    return d_->transaction<void>([&]() -> Status {
        std::map<QString, int> ids;
        for (const QString& c : snapshot.companies) {
            auto id = d_->addCompany(c);
            if (!id)
                return Error{id.error().code, QStringLiteral("%1：%2").arg(c, id.error().message)};
            ids[c] = *id;
        }
        for (const auto& m : snapshot.models) {
            int companyId = 0;
            if (auto it = ids.find(m.company); it != ids.end()) {
                companyId = it->second;
            } else {
                auto found = d_->scalar(Stmt::CompanyIdByName, {m.company});
                if (!found)
                    return found.error();
                if (!*found)
                    return Error{ErrorCode::NoSuchCompany,
                                 QStringLiteral("没找到该公司：%1").arg(m.company)};
                companyId = **found;
            }
            auto id = d_->addModel(companyId, m.input);
            if (!id)
                return Error{
                    id.error().code,
                    QStringLiteral("%1 / %2：%3").arg(m.company, m.input.name, id.error().message)};
        }
        return {};
    });
}

} // namespace pj::catalogue

#include "shell/editor/catalogueediting.h"

#include "shell/cataloguebrowser.h"

namespace pj::shell {

using catalogue::Error;
using catalogue::ErrorCode;
using catalogue::Result;
using catalogue::Status;

CatalogueEditing::CatalogueEditing(catalogue::CatalogueDb& db, CatalogueBrowser& browser)
    : db_(db)
    , browser_(browser) {}

Result<int> CatalogueEditing::addCompany(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) // refused as an empty model name is, with the company's text
        return Error{ErrorCode::EmptyModelName, emptyCompanyText()};
    auto id = db_.addCompany(trimmed);
    if (id)
        browser_.addCompanyNode(*id, trimmed);
    return id;
}

Result<int> CatalogueEditing::addModel(const QString& company, const catalogue::ModelInput& model) {
    auto companyId = db_.findCompany(company);
    if (!companyId)
        return companyId.error();
    auto id = db_.addModel(*companyId, model);
    if (id)
        browser_.addModelNode(*id, *companyId, model.name);
    return id;
}

Result<int> CatalogueEditing::modelId(const QString& company, const QString& model) {
    auto companyId = db_.findCompany(company);
    if (!companyId)
        return companyId.error();
    return db_.findModel(*companyId, model);
}

Result<catalogue::ModelRecord> CatalogueEditing::loadModel(const QString& company,
                                                           const QString& model) {
    auto id = modelId(company, model);
    if (!id)
        return id.error();
    return db_.loadModel(*id);
}

Status CatalogueEditing::modifyModel(const QString& company, const QString& model,
                                     const catalogue::ModelInput& input) {
    auto id = modelId(company, model);
    if (!id)
        return id.error();
    if (auto r = db_.modifyModel(*id, input); !r)
        return r;
    browser_.renameModelNode(*id, input.name);
    if (browser_.modelShown() && browser_.selectedModel().selectedModelId == *id)
        browser_.select(NodeRef{NodeKind::Model, input.name, company});
    return {};
}

Status CatalogueEditing::deleteModel(const QString& company, const QString& model) {
    auto id = modelId(company, model);
    if (!id)
        return id.error();
    if (auto r = db_.deleteModel(*id); !r)
        return r;
    browser_.removeModelNode(*id);
    return {};
}

Status CatalogueEditing::deleteCompany(const QString& company) {
    auto id = db_.findCompany(company);
    if (!id)
        return id.error();
    if (auto r = db_.deleteCompany(*id); !r)
        return r;
    browser_.removeCompanyNode(*id);
    return {};
}

} // namespace pj::shell

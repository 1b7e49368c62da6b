#include "shell/editor/catalogueediting.h"

#include "shell/cataloguebrowser.h"

namespace pj::shell {

using catalogue::Error;
using catalogue::ErrorCode;
using catalogue::Result;
using catalogue::Status;

CatalogueEditing::CatalogueEditing(catalogue::CatalogueDb& db, CatalogueBrowser& browser)
    : db_(db)
    , browser_(browser) {
    // The browser was built from the catalogue just before.
    noteInStep();
}

std::optional<std::uint64_t> CatalogueEditing::stamp() {
    auto s = db_.changeStamp();
    return s ? std::optional<std::uint64_t>(*s) : std::nullopt;
}

void CatalogueEditing::noteInStep() {
    inStep_ = stamp();
}

bool CatalogueEditing::changedSinceInStep() {
    const auto now = stamp();
    // A stamp that cannot be read says nothing: count it as a change.
    return !now || !inStep_ || *now != *inStep_;
}

void CatalogueEditing::refreshTree() {
    if (refresh_)
        refresh_();
    else
        browser_.build();
    noteInStep();
}

void CatalogueEditing::afterRefusal(const Error& error, bool wasInStep) {
    const bool outOfDate = error.code == ErrorCode::Conflict ||
                           error.code == ErrorCode::NoSuchCompany ||
                           error.code == ErrorCode::NoSuchModel;
    if (outOfDate || !wasInStep || changedSinceInStep())
        refreshTree();
}

template <class F> void CatalogueEditing::afterChange(bool wasInStep, F&& inPlace) {
    if (!wasInStep) {
        refreshTree();
        return;
    }
    inPlace();
    noteInStep();
}

std::optional<int> CatalogueEditing::browserCompanyId(const QString& company) const {
    for (const CompanyNode& c : browser_.companies())
        if (c.name == company)
            return c.id;
    return std::nullopt;
}

Result<int> CatalogueEditing::addCompany(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) // refused as an empty model name is, with the company's text
        return Error{ErrorCode::EmptyModelName, emptyCompanyText()};
    const bool inStep = !changedSinceInStep();
    auto id = db_.addCompany(trimmed);
    if (!id) {
        afterRefusal(id.error(), inStep);
        return id;
    }
    afterChange(inStep, [&] { browser_.addCompanyNode(*id, trimmed); });
    return id;
}

Result<int> CatalogueEditing::addModel(const QString& company, const catalogue::ModelInput& model) {
    const bool inStep = !changedSinceInStep();
    auto id = db_.addModel(catalogue::CompanyEntry{0, company}, model);
    if (!id) {
        afterRefusal(id.error(), inStep);
        return id;
    }
    afterChange(inStep, [&] {
        if (const auto companyId = browserCompanyId(company))
            browser_.addModelNode(*id, *companyId, model.name);
    });
    return id;
}

Result<catalogue::ModelRecord> CatalogueEditing::loadModel(const QString& company,
                                                           const QString& model) {
    const bool inStep = !changedSinceInStep();
    auto companyId = db_.findCompany(company);
    if (!companyId) {
        afterRefusal(companyId.error(), inStep);
        return companyId.error();
    }
    auto id = db_.findModel(*companyId, model);
    if (!id) {
        afterRefusal(id.error(), inStep);
        return id.error();
    }
    auto record = db_.loadModel(*id);
    if (!record)
        afterRefusal(record.error(), inStep);
    return record;
}

Status CatalogueEditing::modifyModel(const QString& company, const catalogue::ModelRecord& asRead,
                                     const catalogue::ModelInput& input) {
    const bool inStep = !changedSinceInStep();
    if (auto r = db_.modifyModel(asRead, input); !r) {
        afterRefusal(r.error(), inStep);
        return r;
    }
    afterChange(inStep, [&] {
        browser_.renameModelNode(asRead.id, input.name);
        if (browser_.modelShown() && browser_.selectedModel().selectedModelId == asRead.id)
            browser_.select(NodeRef{NodeKind::Model, input.name, company});
    });
    return {};
}

Status CatalogueEditing::deleteModel(const QString& company, const catalogue::ModelRecord& asRead) {
    (void)company; // the record names its company
    const bool inStep = !changedSinceInStep();
    if (auto r = db_.deleteModel(asRead); !r) {
        afterRefusal(r.error(), inStep);
        return r;
    }
    afterChange(inStep, [&] { browser_.removeModelNode(asRead.id); });
    return {};
}

Status CatalogueEditing::deleteModel(const QString& company, const QString& model) {
    auto record = loadModel(company, model);
    if (!record)
        return record.error();
    return deleteModel(company, *record);
}

Status CatalogueEditing::deleteCompany(const QString& company) {
    const bool inStep = !changedSinceInStep();
    const std::optional<int> shownId = browserCompanyId(company);
    if (auto r = db_.deleteCompany(catalogue::CompanyEntry{0, company}); !r) {
        afterRefusal(r.error(), inStep);
        return r;
    }
    afterChange(inStep && shownId.has_value(), [&] { browser_.removeCompanyNode(*shownId); });
    return {};
}

} // namespace pj::shell

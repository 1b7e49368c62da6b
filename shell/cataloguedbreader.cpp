#include "shell/cataloguedbreader.h"

namespace pj::shell {

QList<CompanyEntry> CatalogueDbReader::companies() {
    auto tree = db_.loadTree();
    tree_.reset();
    QList<CompanyEntry> out;
    if (!tree)
        return out;
    tree_ = std::move(tree.value());
    for (const auto& c : tree_->companies)
        out.append(CompanyEntry{c.id, c.name});
    return out;
}

QList<ModelEntry> CatalogueDbReader::models() {
    if (!tree_)
        companies();
    QList<ModelEntry> out;
    if (!tree_)
        return out;
    for (const auto& m : tree_->models)
        out.append(ModelEntry{m.id, m.name, m.companyId});
    tree_.reset(); // the next build reads afresh
    return out;
}

std::optional<int> CatalogueDbReader::companyIdByName(const QString& name) {
    auto id = db_.findCompany(name);
    return id ? std::optional<int>(*id) : std::nullopt;
}

std::optional<int> CatalogueDbReader::modelIdByName(const QString& model, int companyId) {
    auto id = db_.findModel(companyId, model);
    return id ? std::optional<int>(*id) : std::nullopt;
}

std::optional<ModelContent> CatalogueDbReader::model(int modelId) {
    auto record = db_.loadModel(modelId);
    if (!record)
        return std::nullopt;
    ModelContent out;
    out.baud = record->baud;
    out.description = record->description;
    for (const auto& k : record->keys)
        out.keys.append(KeyEntry{k.function, k.code, static_cast<std::uint32_t>(k.slot),
                                 static_cast<std::uint32_t>(k.parity)});
    return out;
}

} // namespace pj::shell

// Reading the catalogue: the tree, look-ups by name, one model whole, and the
// snapshot that export writes.

#include "catalogue/cataloguedb_p.h"

#include <map>

namespace pj::catalogue {

using detail::dbError;
using detail::notFound;
using detail::Stmt;
using detail::toId;

void fillSelectedModel(const ModelRecord& model, pj::link::SelectedModel& out) {
    out.selectedModelId = model.id;
    out.selectedBaud = model.baud;
    out.selectedBaudText = std::to_string(model.baud);
    out.lastParity = 0;
    out.rows.clear();
    out.rows.reserve(model.keys.size());
    for (const KeyRecord& k : model.keys) {
        pj::link::CodeListEntry e;
        e.name = k.function.toStdString();
        e.codeText = k.code.toStdString();
        e.keyType = static_cast<std::uint32_t>(k.slot);
        e.parity = static_cast<std::uint32_t>(k.parity);
        out.lastParity = e.parity;
        out.rows.push_back(std::move(e));
    }
    if (!out.rows.empty())
        out.rows.front().selected = true;
}

// ---- bodies shared with the changing operations ----------------------------

Result<bool> CatalogueDb::Impl::companyExists(int id) {
    auto q = run(Stmt::CompanyById, {id});
    if (!q)
        return q.error();
    const bool found = (*q)->next();
    (*q)->finish();
    return found;
}

Result<bool> CatalogueDb::Impl::modelNameTaken(int companyId, const QString& model) {
    auto dup = run(Stmt::DuplicateModel, {model, companyId});
    if (!dup)
        return dup.error();
    const bool exists = (*dup)->next();
    (*dup)->finish();
    return exists;
}

Result<ModelRecord> CatalogueDb::Impl::loadModel(int id) {
    auto q = run(Stmt::ModelById, {id});
    if (!q)
        return q.error();
    if (!(*q)->next()) {
        const QSqlError e = (*q)->lastError();
        (*q)->finish();
        if (e.isValid())
            return dbError(e);
        return Error{ErrorCode::NoSuchModel, QStringLiteral("没找到该型号")};
    }
    ModelRecord m;
    m.id = id;
    m.name = (*q)->value(0).toString();
    m.baud = static_cast<std::uint32_t>((*q)->value(1).toLongLong());
    m.description = (*q)->value(2).toString();
    m.companyId = toId((*q)->value(3));
    (*q)->finish();
    auto k = run(Stmt::KeysOfModel, {id});
    if (!k)
        return k.error();
    QSqlQuery* kq = *k;
    while (kq->next()) {
        KeyRecord r;
        r.id = toId(kq->value(0));
        r.function = kq->value(1).toString();
        r.code = kq->value(2).toString();
        r.slot = kq->value(3).toInt();
        r.ascii = kq->value(4).toInt() != 0;
        r.parity = kq->value(5).toInt();
        m.ascii = r.ascii;
        m.parity = r.parity;
        m.keys.push_back(std::move(r));
    }
    if (kq->lastError().isValid())
        return dbError(kq->lastError());
    kq->finish();
    return m;
}

// ---- the public reads -------------------------------------------------------

Result<CatalogueTree> CatalogueDb::loadTree() {
    if (!isOpen())
        return notFound();
    CatalogueTree t;
    {
        auto q = d_->run(Stmt::TreeCompanies, {});
        if (!q)
            return q.error();
        while ((*q)->next())
            t.companies.push_back({toId((*q)->value(0)), (*q)->value(1).toString()});
        if ((*q)->lastError().isValid())
            return dbError((*q)->lastError());
        (*q)->finish();
    }
    {
        auto q = d_->run(Stmt::TreeModels, {});
        if (!q)
            return q.error();
        while ((*q)->next())
            t.models.push_back(
                {toId((*q)->value(0)), toId((*q)->value(2)), (*q)->value(1).toString()});
        if ((*q)->lastError().isValid())
            return dbError((*q)->lastError());
        (*q)->finish();
    }
    return t;
}

Result<int> CatalogueDb::findCompany(const QString& name) {
    if (!isOpen())
        return notFound();
    auto v = d_->scalar(Stmt::CompanyIdByName, {name});
    if (!v)
        return v.error();
    if (!*v)
        return Error{ErrorCode::NoSuchCompany, QStringLiteral("没找到该公司：%1").arg(name)};
    return **v;
}

Result<int> CatalogueDb::findModel(int companyId, const QString& name) {
    if (!isOpen())
        return notFound();
    auto v = d_->scalar(Stmt::ModelIdByName, {name, companyId});
    if (!v)
        return v.error();
    if (!*v)
        return Error{ErrorCode::NoSuchModel, QStringLiteral("没找到该型号：%1").arg(name)};
    return **v;
}

Result<ModelRecord> CatalogueDb::loadModel(int modelId) {
    if (!isOpen())
        return notFound();
    return d_->loadModel(modelId);
}

Result<std::vector<ModelEntry>> CatalogueDb::modelsOfCompany(int companyId) {
    if (!isOpen())
        return notFound();
    auto q = d_->run(Stmt::ModelsOfCompany, {companyId});
    if (!q)
        return q.error();
    std::vector<ModelEntry> out;
    while ((*q)->next())
        out.push_back({toId((*q)->value(0)), toId((*q)->value(2)), (*q)->value(1).toString()});
    (*q)->finish();
    return out;
}

Result<CatalogueSnapshot> CatalogueDb::exportSnapshot() {
    if (!isOpen())
        return notFound();
    auto tree = loadTree();
    if (!tree)
        return tree.error();
    CatalogueSnapshot s;
    std::map<int, QString> companyName;
    for (const auto& c : tree->companies) {
        s.companies.push_back(c.name);
        companyName.emplace(c.id, c.name);
    }
    for (const auto& entry : tree->models) {
        auto m = d_->loadModel(entry.id);
        if (!m)
            return m.error();
        auto it = companyName.find(m->companyId);
        if (it == companyName.end())
            return Error{ErrorCode::Database,
                         QStringLiteral("型号 %1 的公司编号 %2 不存在，无法导出")
                             .arg(m->id)
                             .arg(m->companyId)};
        CatalogueSnapshot::Model out;
        out.company = it->second;
        out.input.name = m->name;
        out.input.baud = m->baud;
        out.input.parity = m->parity;
        out.input.ascii = m->ascii;
        out.input.codesStored = true;
        out.input.description = m->description;
        for (const auto& k : m->keys)
            out.input.keys.push_back({k.function, k.slot, k.code});
        s.models.push_back(std::move(out));
    }
    return s;
}

} // namespace pj::catalogue

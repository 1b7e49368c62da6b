// Reading the catalogue: the tree, look-ups by name, one model whole, and the
// snapshot that export writes.

#include "catalogue/cataloguedb_p.h"
#include "catalogue/checks.h"

#include <QStringList>

#include <limits>
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

namespace {

Error conflictCompanyGone(const QString& company) {
    return {ErrorCode::Conflict,
            QStringLiteral("公司“%1”已被他人删除，没有写入任何内容；请刷新目录").arg(company)};
}

Error conflictModelGone(const QString& company, const QString& model) {
    return {ErrorCode::Conflict,
            QStringLiteral("型号“%1 / %2”已被他人删除或改名，没有写入任何内容；请刷新目录")
                .arg(company, model)};
}

// What a reader of the model sees: speed, description and the key rows.
bool sameContent(const ModelRecord& a, const ModelRecord& b) {
    if (a.baud != b.baud || a.description != b.description || a.keys.size() != b.keys.size())
        return false;
    for (std::size_t i = 0; i < a.keys.size(); ++i) {
        const KeyRecord& x = a.keys[i];
        const KeyRecord& y = b.keys[i];
        if (x.function != y.function || x.code != y.code || x.slot != y.slot ||
            x.ascii != y.ascii || x.parity != y.parity)
            return false;
    }
    return true;
}

QString modelLabel(int id, const QString& name) {
    return QStringLiteral("型号 %1（%2）").arg(id).arg(name);
}

} // namespace

namespace {

// A speed is read whole, never wrapped into another number: one that is no
// unsigned 32-bit number (or empty) reads as 0, "no speed", which every
// writer refuses and the editor shows for fixing; the check names the
// stored value.
std::uint32_t storedBaud(const QVariant& v) {
    if (const auto n = detail::storedInteger(v); n && *n >= 0 && *n <= 0xFFFFFFFFLL)
        return static_cast<std::uint32_t>(*n);
    return 0;
}

} // namespace

// One key row: ID, FUNCTION, FUNCODE, TYPE, ISASCII, CHECK in that order.
KeyRecord CatalogueDb::Impl::keyRecord(const QSqlQuery& q) const {
    KeyRecord r;
    r.id = toId(q.value(0));
    r.function = text(q, 1);
    r.code = text(q, 2);
    // Slot and parity as stored; one that is no number or does not fit
    // reads as -1, never wrapped into a valid one (slot 4294967296 must not
    // become key 0). The check and the frame builder refuse them.
    const auto small = [](const QVariant& v) {
        const auto n = detail::storedInteger(v);
        return n && *n >= std::numeric_limits<int>::min() && *n <= std::numeric_limits<int>::max()
                   ? static_cast<int>(*n)
                   : -1;
    };
    r.slot = small(q.value(3));
    r.ascii = detail::storedInteger(q.value(4)).value_or(0) != 0;
    r.parity = small(q.value(5));
    return r;
}

Result<std::vector<ModelRecord>> CatalogueDb::Impl::loadAllModels() {
    using Out = std::vector<ModelRecord>;
    return transaction<Out>(TxKind::Read, [&]() -> Result<Out> {
        std::map<int, QString> companyName;
        {
            auto q = run(Stmt::TreeCompanies, {});
            if (!q)
                return q.error();
            while ((*q)->next())
                companyName.emplace(toId((*q)->value(0)), text(**q, 1));
            if ((*q)->lastError().isValid())
                return dbError((*q)->lastError());
            (*q)->finish();
        }
        Out models;
        {
            auto q = run(Stmt::AllModels, {});
            if (!q)
                return q.error();
            while ((*q)->next()) {
                ModelRecord m;
                m.id = toId((*q)->value(0));
                m.name = text(**q, 1);
                m.baud = storedBaud((*q)->value(2));
                m.description = text(**q, 3);
                m.companyId = toId((*q)->value(4));
                if (const auto it = companyName.find(m.companyId); it != companyName.end())
                    m.companyName = it->second;
                models.push_back(std::move(m));
            }
            if ((*q)->lastError().isValid())
                return dbError((*q)->lastError());
            (*q)->finish();
        }
        // Both lists come in ID order: the key rows are walked once beside
        // the models (a sound catalogue has dense IDs, but duplicates and
        // gaps are read as they are).
        auto k = run(Stmt::AllKeys, {});
        if (!k)
            return k.error();
        QSqlQuery* kq = *k;
        std::size_t at = 0;
        while (kq->next()) {
            const int mid = toId(kq->value(6));
            while (at < models.size() && models[at].id < mid)
                ++at;
            if (at == models.size())
                break;
            if (models[at].id != mid)
                continue;
            ModelRecord& m = models[at];
            KeyRecord r = keyRecord(*kq);
            m.ascii = r.ascii;
            m.parity = r.parity;
            m.keys.push_back(std::move(r));
        }
        if (kq->lastError().isValid())
            return dbError(kq->lastError());
        kq->finish();
        return models;
    });
}

Result<ModelRecord> CatalogueDb::Impl::loadModel(int id) {
    return transaction<ModelRecord>(TxKind::Read, [&]() -> Result<ModelRecord> {
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
        m.name = text(**q, 0);
        const QVariant baud = (*q)->value(1);
        m.description = text(**q, 2);
        m.companyId = toId((*q)->value(3));
        (*q)->finish();
        m.baud = storedBaud(baud);
        if (auto c = run(Stmt::CompanyById, {m.companyId}); !c) {
            return c.error();
        } else {
            if ((*c)->next())
                m.companyName = text(**c, 1);
            (*c)->finish();
        }
        auto k = run(Stmt::KeysOfModel, {id});
        if (!k)
            return k.error();
        QSqlQuery* kq = *k;
        while (kq->next()) {
            KeyRecord r = keyRecord(*kq);
            m.ascii = r.ascii;
            m.parity = r.parity;
            m.keys.push_back(std::move(r));
        }
        if (kq->lastError().isValid())
            return dbError(kq->lastError());
        kq->finish();
        return m;
    });
}

Result<CatalogueTree> CatalogueDb::Impl::loadTree() {
    return transaction<CatalogueTree>(TxKind::Read, [&]() -> Result<CatalogueTree> {
        CatalogueTree t;
        {
            auto q = run(Stmt::TreeCompanies, {});
            if (!q)
                return q.error();
            while ((*q)->next())
                t.companies.push_back({toId((*q)->value(0)), text(**q, 1)});
            if ((*q)->lastError().isValid())
                return dbError((*q)->lastError());
            (*q)->finish();
        }
        {
            auto q = run(Stmt::TreeModels, {});
            if (!q)
                return q.error();
            while ((*q)->next())
                t.models.push_back({toId((*q)->value(0)), toId((*q)->value(2)), text(**q, 1)});
            if ((*q)->lastError().isValid())
                return dbError((*q)->lastError());
            (*q)->finish();
        }
        return t;
    });
}

Result<int> CatalogueDb::Impl::currentCompanyId(const CompanyEntry& company) {
    if (company.name.isEmpty()) {
        auto exists = companyExists(company.id);
        if (!exists)
            return exists.error();
        if (!*exists)
            return conflictCompanyGone(QString::number(company.id));
        return company.id;
    }
    auto id = scalar(Stmt::CompanyIdByName, {company.name});
    if (!id)
        return id.error();
    if (!*id)
        return conflictCompanyGone(company.name);
    return **id;
}

Result<ModelRecord> CatalogueDb::Impl::currentModel(const ModelRecord& asRead) {
    auto companyId = currentCompanyId({asRead.companyId, asRead.companyName});
    if (!companyId)
        return companyId.error();
    auto id = scalar(Stmt::ModelIdByName, {asRead.name, *companyId});
    if (!id)
        return id.error();
    if (!*id)
        return conflictModelGone(asRead.companyName, asRead.name);
    auto now = loadModel(**id);
    if (!now)
        return now.error();
    if (!sameContent(*now, asRead))
        return Error{ErrorCode::Conflict,
                     QStringLiteral("型号“%1 / %2”已被他人修改，没有写入任何内容；请重新打开后再改")
                         .arg(asRead.companyName, asRead.name)};
    return now;
}

// ---- the public reads -------------------------------------------------------

Result<CatalogueTree> CatalogueDb::loadTree() {
    if (!isOpen())
        return notFound();
    return d_->loadTree();
}

Result<std::uint64_t> CatalogueDb::changeStamp() {
    if (!isOpen())
        return notFound();
    QSqlQuery q(d_->db());
    if (d_->engine == Engine::Sqlite) {
        // Moves with every commit of another connection; this connection's
        // own commits are counted apart.
        if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next())
            return dbError(q.lastError());
        return (static_cast<std::uint64_t>(q.value(0).toLongLong()) << 32) + d_->ownCommits;
    }
    if (d_->engine == Engine::PostgreSql) {
        // Where the server inserts into its write-ahead log: it moves with every commit
        // (and with other writes on the server, which only cost a reload).
        if (!q.exec(QStringLiteral("Select pg_current_wal_insert_lsn()")) || !q.next())
            return dbError(q.lastError());
        const QStringList parts = q.value(0).toString().split(QLatin1Char('/'));
        bool okHigh = false, okLow = false;
        const std::uint64_t high = parts.value(0).toULongLong(&okHigh, 16);
        const std::uint64_t low = parts.value(1).toULongLong(&okLow, 16);
        if (parts.size() != 2 || !okHigh || !okLow)
            return Error{ErrorCode::Database, QStringLiteral("数据库操作失败：无法读取日志位置")};
        return (high << 32) + low + d_->ownCommits;
    }
    // Elsewhere a digest of the tree and of the key rows' count and highest
    // row number (every change of a model's keys inserts new rows).
    return d_->transaction<std::uint64_t>(TxKind::Read, [&]() -> Result<std::uint64_t> {
        auto tree = d_->loadTree();
        if (!tree)
            return tree.error();
        auto stats = d_->run(Stmt::KeyRowStats, {});
        if (!stats)
            return stats.error();
        std::uint64_t h = 1469598103934665603ULL;
        const auto mix = [&h](std::uint64_t v) { h = (h ^ v) * 1099511628211ULL; };
        if ((*stats)->next()) {
            mix(static_cast<std::uint64_t>((*stats)->value(0).toLongLong()));
            mix(static_cast<std::uint64_t>((*stats)->value(1).toLongLong()));
        }
        (*stats)->finish();
        for (const auto& c : tree->companies) {
            mix(static_cast<std::uint64_t>(c.id));
            mix(qHash(c.name));
        }
        for (const auto& m : tree->models) {
            mix(static_cast<std::uint64_t>(m.id));
            mix(static_cast<std::uint64_t>(m.companyId));
            mix(qHash(m.name));
        }
        return h + d_->ownCommits;
    });
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
        out.push_back({toId((*q)->value(0)), toId((*q)->value(2)), d_->text(**q, 1)});
    (*q)->finish();
    return out;
}

Result<std::vector<ModelRecord>> CatalogueDb::loadAllModels() {
    if (!isOpen())
        return notFound();
    return d_->loadAllModels();
}

Result<CatalogueSnapshot> CatalogueDb::exportSnapshot() {
    if (!isOpen())
        return notFound();
    return d_->transaction<CatalogueSnapshot>(TxKind::Read, [&]() -> Result<CatalogueSnapshot> {
        auto tree = d_->loadTree();
        if (!tree)
            return tree.error();
        CatalogueSnapshot s;
        std::map<int, QString> companyName;
        for (const auto& c : tree->companies) {
            s.companies.push_back(c.name);
            companyName.emplace(c.id, c.name);
        }
        auto all = d_->loadAllModels();
        if (!all)
            return all.error();
        for (const ModelRecord& model : *all) {
            const ModelRecord* m = &model;
            auto it = companyName.find(m->companyId);
            if (it == companyName.end())
                return Error{ErrorCode::Database,
                             QStringLiteral("型号 %1 的公司编号 %2 不存在，无法导出")
                                 .arg(m->id)
                                 .arg(m->companyId)};
            // An import would refuse it: say so now, with the model.
            if (auto b = checkBaud(m->baud); !b)
                return Error{
                    ErrorCode::BadBaud,
                    QStringLiteral("%1的波特率 %2 无法导入，因此不导出：%3；请先修改该型号")
                        .arg(modelLabel(m->id, m->name))
                        .arg(m->baud)
                        .arg(b.error().message)};
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
    });
}

} // namespace pj::catalogue

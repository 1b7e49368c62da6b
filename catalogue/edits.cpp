// Changing the catalogue: adding companies and models, modifying a model, and
// importing a snapshot; with the checks of every value before anything is
// written.

#include "catalogue/cataloguedb_p.h"
#include "catalogue/functionkeys.h"
#include "link/codetext.h"

#include <limits>
#include <map>

namespace pj::catalogue {

using detail::notFound;
using detail::Stmt;

namespace {

// Characters as the user counts them (a character outside the BMP is one).
qsizetype charCount(const QString& s) {
    qsizetype n = 0;
    for (const QChar c : s) {
        if (!c.isLowSurrogate())
            ++n;
    }
    return n;
}

Status checkLength(const QString& value, int limit, const QString& what) {
    if (charCount(value) > limit)
        return Error{ErrorCode::TooLong, QStringLiteral("%1超过%2个字符").arg(what).arg(limit)};
    return {};
}

} // namespace

// ---- operation bodies, run inside a transaction ----------------------------

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

// ---- validation -----------------------------------------------------------

Result<QString> CatalogueDb::storedCodeText(const QString& typed, bool ascii, bool codesStored) {
    QString stored;
    if (ascii && !codesStored) {
        // Text typed for an ASCII model: printable ASCII only, converted to
        // hex pairs with the closing carriage return.
        for (const QChar c : typed) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7e)
                return Error{ErrorCode::BadCode, text::kBadCode};
        }
        stored = QString::fromStdString(pj::link::asciiToCodeText(typed.toStdString()));
    } else {
        const std::string s = typed.toStdString();
        const auto bytes = pj::link::parseCodeTextStrict(s);
        // A typed code must hold at least one byte; a stored row may be empty.
        if (!bytes || (bytes->empty() && !codesStored))
            return Error{ErrorCode::BadCode, text::kBadCode};
        stored = typed;
    }
    if (charCount(stored) > kMaxCodeLength)
        return Error{ErrorCode::TooLong, QStringLiteral("功能码超过%1个字符").arg(kMaxCodeLength)};
    return stored;
}

Status CatalogueDb::validateModelInput(const ModelInput& m) {
    if (m.name.isEmpty())
        return Error{ErrorCode::EmptyModelName, text::kEmptyModelName};
    if (auto r = checkLength(m.name, kMaxNameLength, QStringLiteral("型号名称")); !r)
        return r;
    if (auto r = checkLength(m.description, kMaxDescriptionLength, QStringLiteral("备注")); !r)
        return r;
    if (m.parity < 0 || m.parity > 2)
        return Error{ErrorCode::BadParity,
                     QStringLiteral("校验位必须是 0（无校验）、1（奇校验）或 2（偶校验）")};
    if (m.baud > static_cast<std::uint32_t>(std::numeric_limits<qint32>::max()))
        return Error{ErrorCode::BadBaud, QStringLiteral("波特率超出范围")};
    for (const KeyInput& k : m.keys) {
        if (auto r = checkLength(k.function, kMaxNameLength, QStringLiteral("功能键名称")); !r)
            return r;
        if (!isValidSlot(k.slot))
            return Error{ErrorCode::BadSlot,
                         QStringLiteral("功能键位置 %1 不在 0 到 17 之间").arg(k.slot)};
        if (auto c = storedCodeText(k.code, m.ascii, m.codesStored); !c)
            return c.error();
    }
    return {};
}

// ---- operations -----------------------------------------------------------

Result<int> CatalogueDb::addCompany(const QString& name) {
    if (!isOpen())
        return notFound();
    if (auto r = checkLength(name, kMaxNameLength, QStringLiteral("公司名称")); !r)
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

Status CatalogueDb::modifyModel(int modelId, const ModelInput& model) {
    if (!isOpen())
        return notFound();
    if (auto r = validateModelInput(model); !r)
        return r;
    return d_->transaction<void>([&] { return d_->modifyModel(modelId, model); });
}

Status CatalogueDb::importSnapshot(const CatalogueSnapshot& snapshot) {
    if (!isOpen())
        return notFound();
    for (const QString& c : snapshot.companies) {
        if (auto r = checkLength(c, kMaxNameLength, QStringLiteral("公司名称")); !r)
            return r;
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

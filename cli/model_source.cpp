#include "cli/model_source.h"

#include "catalogue/cataloguedb.h"

namespace pj::cli {

std::optional<ModelCodes> loadModelCodes(const std::string& catalogueFile,
                                         const std::string& company, const std::string& model,
                                         std::string& error) {
    using namespace pj::catalogue;
    const QString file = catalogueFile.empty() ? QString::fromLatin1(kDefaultCatalogueFile)
                                               : QString::fromStdString(catalogueFile);
    const auto where = CatalogueLocation::fromEnvironment(file);
    CatalogueDb db;
    if (auto r = db.connect(where); !r) {
        error = QStringLiteral("%1（%2）").arg(r.error().message, where.describe()).toStdString();
        return std::nullopt;
    }
    auto companyId = db.findCompany(QString::fromStdString(company));
    if (!companyId) {
        error = companyId.error().message.toStdString();
        return std::nullopt;
    }
    auto modelId = db.findModel(*companyId, QString::fromStdString(model));
    if (!modelId) {
        error = modelId.error().message.toStdString();
        return std::nullopt;
    }
    auto record = db.loadModel(*modelId);
    if (!record) {
        error = record.error().message.toStdString();
        return std::nullopt;
    }
    pj::link::SelectedModel selected;
    fillSelectedModel(*record, selected);
    ModelCodes codes;
    codes.baud = record->baud;
    codes.rows = std::move(selected.rows);
    return codes;
}

} // namespace pj::cli

#pragma once
// The catalogue database as the browser reads it.

#include "catalogue/cataloguedb.h"
#include "shell/cataloguereader.h"

namespace pj::shell {

class CatalogueDbReader final : public CatalogueReader {
public:
    explicit CatalogueDbReader(catalogue::CatalogueDb& db)
        : db_(db) {}

    // companies() reads the whole tree once; models() hands out its models.
    QList<CompanyEntry> companies() override;
    QList<ModelEntry> models() override;
    std::optional<int> companyIdByName(const QString& name) override;
    std::optional<int> modelIdByName(const QString& model, int companyId) override;
    std::optional<ModelContent> model(int modelId) override;

private:
    catalogue::CatalogueDb& db_;
    std::optional<catalogue::CatalogueTree> tree_;
};

} // namespace pj::shell

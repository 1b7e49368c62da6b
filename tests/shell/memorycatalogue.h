#pragma once
// A catalogue held in memory for the browser tests.

#include "shell/cataloguereader.h"

#include <QMap>

namespace pj::shell::test {

class MemoryCatalogue : public CatalogueReader {
public:
    QList<CompanyEntry> companyRows;
    QList<ModelEntry> modelRows;
    QMap<int, QList<KeyEntry>> keyRows; // by model id
    QMap<int, ModelContent> detailRows; // by model id (keys taken from keyRows)
    int queries = 0;

    QList<CompanyEntry> companies() override {
        ++queries;
        return companyRows;
    }
    QList<ModelEntry> models() override {
        ++queries;
        return modelRows;
    }
    std::optional<int> companyIdByName(const QString& name) override {
        ++queries;
        for (const auto& c : companyRows)
            if (c.name == name)
                return c.id;
        return std::nullopt;
    }
    std::optional<int> modelIdByName(const QString& model, int companyId) override {
        ++queries;
        for (const auto& m : modelRows)
            if (m.name == model && m.companyId == companyId)
                return m.id;
        return std::nullopt;
    }
    std::optional<ModelContent> model(int modelId) override {
        ++queries;
        if (!detailRows.contains(modelId))
            return std::nullopt;
        ModelContent content = detailRows.value(modelId);
        content.keys = keyRows.value(modelId);
        return content;
    }
};

} // namespace pj::shell::test

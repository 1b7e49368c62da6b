#pragma once
// What the catalogue browser reads from the catalogue: companies, models, the
// key rows of one model and its speed and description. The program adapts the
// catalogue database to it; tests give it rows from memory.

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace pj::shell {

struct CompanyEntry {
    int id = 0;
    QString name;
};

struct ModelEntry {
    int id = 0;
    QString name;
    int companyId = 0;
};

struct KeyEntry {
    QString name;     // FUNKEY.FUNCTION, shown in the code list
    QString codeText; // FUNKEY.FUNCODE, hex pairs
    std::uint32_t keyType = 0;
    std::uint32_t parity = 0;
};

struct ModelContent {
    std::uint32_t baud = 0;
    QString description;
    QList<KeyEntry> keys; // in catalogue order
};

class CatalogueReader {
public:
    virtual ~CatalogueReader() = default;

    virtual QList<CompanyEntry> companies() = 0;
    virtual QList<ModelEntry> models() = 0;
    virtual std::optional<int> companyIdByName(const QString& name) = 0;
    virtual std::optional<int> modelIdByName(const QString& model, int companyId) = 0;
    // Speed, description and key rows of one model; nullopt when it is gone.
    virtual std::optional<ModelContent> model(int modelId) = 0;
};

} // namespace pj::shell

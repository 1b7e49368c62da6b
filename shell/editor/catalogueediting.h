#pragma once
// The catalogue edits started from the program's tree: add a company, add,
// load, modify and delete a model, delete a company. Each names its company
// and model as the tree shows them and looks their ids up when it runs (ids
// move when rows above them are deleted), runs one catalogue operation (one
// transaction: applied whole or not at all), and only when that succeeded
// brings the browser, and through its node signals the tree, in step. A
// refused operation changes neither the catalogue nor the tree; its error
// carries the text to show.

#include "catalogue/cataloguedb.h"

#include <QString>

namespace pj::shell {

class CatalogueBrowser;

class CatalogueEditing {
public:
    CatalogueEditing(catalogue::CatalogueDb& db, CatalogueBrowser& browser);

    static QString emptyCompanyText() { return QStringLiteral("请填写公司名称！"); }

    // The name is stored without surrounding blanks; an empty or blank name
    // is refused ("请填写公司名称！"), a name already present too
    // ("该公司名称已经存在!"). Returns the new company's id.
    catalogue::Result<int> addCompany(const QString& name);
    // Returns the new model's id; "该型号已经存在!" for a name the company has.
    catalogue::Result<int> addModel(const QString& company, const catalogue::ModelInput& model);
    catalogue::Result<catalogue::ModelRecord> loadModel(const QString& company,
                                                        const QString& model);
    // Saves the model under its new values (a rename keeps the node; the code
    // list shows the saved keys when it showed this model).
    catalogue::Status modifyModel(const QString& company, const QString& model,
                                  const catalogue::ModelInput& input);
    catalogue::Status deleteModel(const QString& company, const QString& model);
    catalogue::Status deleteCompany(const QString& company);

    catalogue::CatalogueDb& db() { return db_; }

private:
    catalogue::Result<int> modelId(const QString& company, const QString& model);

    catalogue::CatalogueDb& db_;
    CatalogueBrowser& browser_;
};

} // namespace pj::shell

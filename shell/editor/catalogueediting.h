#pragma once
// The catalogue edits started from the program's tree: add a company, add,
// load, modify and delete a model, delete a company. Each names its company
// and model as the tree shows them (ids move when rows above them are
// deleted, by this program or another one sharing the catalogue), runs one
// catalogue operation (one transaction: applied whole or not at all), and
// only when that succeeded brings the browser, and through its node signals
// the tree, in step. A refused operation changes nothing in the catalogue;
// its error carries the text to show.
//
// Modify and delete take the model as it was read (a ModelRecord) and are
// refused with Conflict ("…已被他人删除或改名…；请刷新目录"), writing nothing,
// when someone else deleted, renamed or changed it meanwhile.
//
// Keeping the tree in step with changes made by others: the editing keeps
// the catalogue's change stamp of the last time the tree matched the
// catalogue. After a successful edit the tree follows node by node when
// nothing else changed before it, and is read again otherwise; a refusal
// that says the tree is out of date (Conflict, a company or model not found,
// or any refusal after a change by someone else) reads it again too.

#include "catalogue/cataloguedb.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

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
    // Returns the new model's id; "该型号已经存在!" for a name the company has,
    // Conflict when the company is gone.
    catalogue::Result<int> addModel(const QString& company, const catalogue::ModelInput& model);
    catalogue::Result<catalogue::ModelRecord> loadModel(const QString& company,
                                                        const QString& model);
    // Saves the model read as `asRead` under its new values (a rename keeps
    // the node; the code list shows the saved keys when it showed this model).
    catalogue::Status modifyModel(const QString& company, const catalogue::ModelRecord& asRead,
                                  const catalogue::ModelInput& input);
    catalogue::Status deleteModel(const QString& company, const catalogue::ModelRecord& asRead);
    // Reads the model and deletes it as read.
    catalogue::Status deleteModel(const QString& company, const QString& model);
    catalogue::Status deleteCompany(const QString& company);

    // ---- the tree and changes made by others ----
    // What reads the tree again (the window's tree reload). Without it the
    // browser alone reads the catalogue again.
    void setRefresh(std::function<void()> refresh) { refresh_ = std::move(refresh); }
    // Whether the catalogue may have changed since the tree last matched it.
    bool changedSinceInStep();
    // Reads the tree again and notes the catalogue's present state.
    void refreshTree();

    catalogue::CatalogueDb& db() { return db_; }

private:
    std::optional<std::uint64_t> stamp();
    void noteInStep();
    // After a refused operation: reads the tree again when it is out of date.
    void afterRefusal(const catalogue::Error& error, bool wasInStep);
    // After a successful one: the in-place update when the tree was in step
    // before it, otherwise a fresh read.
    template <class F> void afterChange(bool wasInStep, F&& inPlace);
    std::optional<int> browserCompanyId(const QString& company) const;

    catalogue::CatalogueDb& db_;
    CatalogueBrowser& browser_;
    std::function<void()> refresh_;
    std::optional<std::uint64_t> inStep_;
};

} // namespace pj::shell

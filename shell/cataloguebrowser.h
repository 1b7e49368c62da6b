#pragma once
// The catalogue browser without its widgets: what the tree holds (the root,
// the companies, each company's models), what selecting a node loads into the
// SelectedModel, and which context-menu commands a right click allows.

#include "link/state.h"
#include "shell/cataloguereader.h"
#include "shell/codelistmodel.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

namespace pj::shell {

// Commands of the tree's context menu, in menu order.
enum class TreeCommand {
    AddCompany = 40010,
    AddModel = 40008,
    DeleteCompany = 40012,
    ModifyModel = 40009,
    DeleteModel = 40011,
    Refresh = 40013, // reads the catalogue again, for changes made by others
};
inline constexpr TreeCommand kTreeCommands[] = {
    TreeCommand::AddCompany,  TreeCommand::AddModel,    TreeCommand::DeleteCompany,
    TreeCommand::ModifyModel, TreeCommand::DeleteModel, TreeCommand::Refresh};
QString treeCommandText(TreeCommand command);

enum class NodeKind { Root, Company, Model };

// A tree node as the browser needs it: its kind, its text and, for a model,
// the text of its company. Ids are looked up by name when a node is used, so a
// node stays right after the catalogue renumbers its rows.
struct NodeRef {
    NodeKind kind = NodeKind::Root;
    QString text;
    QString companyText;
};

struct CompanyNode {
    int id = 0;
    QString name;
    QList<ModelEntry> models; // in catalogue order
};

// What the context menu offers after a right click.
struct MenuState {
    bool addCompany = false;
    bool addModel = false;
    bool deleteCompany = false;
    bool modifyModel = false;
    bool deleteModel = false;
    bool refresh = false;
    bool enabled(TreeCommand command) const;
};

class CatalogueBrowser : public QObject {
    Q_OBJECT
public:
    // insertMode after a right click: what a node added from the menu becomes.
    enum InsertMode { InsertCompany = 0, InsertModel = 1, ModelClicked = 2 };

    CatalogueBrowser(CatalogueReader& catalogue, link::SelectedModel& model,
                     QObject* parent = nullptr);

    static QString rootText(); // "选择投影机型号"

    // Reads companies and models; models of an unknown company are left out.
    void build();
    const QList<CompanyNode>& companies() const { return companies_; }

    // A node became the tree's selection: a model loads its rows (row 0 ticked,
    // every row unconfirmed), speed and description; anything else empties the list.
    void select(const NodeRef& node);
    // The same node again after build() read the catalogue afresh: a model
    // whose speed, description and keys are as shown keeps its rows with
    // their ticks and echo states (only its id follows a renumbering); any
    // other change loads it as select() does.
    void reselect(const NodeRef& node);
    bool modelShown() const { return modelShown_; }
    const QString& description() const { return description_; }

    // A right click on a node (nullopt: empty tree space). Returns the menu to
    // show, or nullopt when no menu is shown. The caller selects the node first.
    std::optional<MenuState> rightClick(const std::optional<NodeRef>& node);
    int insertMode() const { return insertMode_; }
    int currentCompanyId() const { return currentCompanyId_; }

    // ---- keeping in step with the catalogue's edits ----
    // Each is called after the catalogue made the change: the browser's
    // companies and models follow it (ids renumbered as the catalogue
    // renumbers them, dense from 1) and the matching node signal goes to the
    // tree. False when the browser holds no such company or model.
    bool addCompanyNode(int id, const QString& name);
    bool addModelNode(int id, int companyId, const QString& name);
    bool renameModelNode(int id, const QString& name);
    // Models above the deleted one move down by one.
    bool removeModelNode(int id);
    // With its models; companies above it move down by one, every model
    // down by the number of removed models below it.
    bool removeCompanyNode(int id);
    // The company and model names of a model id, nullopt when unknown.
    std::optional<std::pair<QString, QString>> modelNames(int id) const;

    // The parity the last written row left the projector line at.
    void setLastParity(std::uint32_t parity) { model_.lastParity = parity; }

    CodeListModel& codeList() { return codeList_; }
    const link::SelectedModel& selectedModel() const { return model_; }

Q_SIGNALS:
    void modelShownChanged(bool shown);
    void descriptionChanged(const QString& text);
    // The tree follows these, node by node.
    void companyNodeAdded(const QString& company);
    void modelNodeAdded(const QString& company, const QString& model);
    void modelNodeRenamed(const QString& company, const QString& oldName, const QString& newName);
    void modelNodeRemoved(const QString& company, const QString& model);
    void companyNodeRemoved(const QString& company);

private:
    qsizetype companyIndex(int id) const;
    void showNothing();
    void setModelShown(bool shown);
    void setDescription(const QString& text);

    CatalogueReader& catalogue_;
    link::SelectedModel& model_;
    CodeListModel codeList_;
    QList<CompanyNode> companies_;
    bool modelShown_ = false;
    QString description_;
    int insertMode_ = InsertCompany;
    int currentCompanyId_ = 0;
};

} // namespace pj::shell

#include "shell/cataloguebrowser.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace pj::shell {

QString treeCommandText(TreeCommand command) {
    switch (command) {
    case TreeCommand::AddCompany:
        return QStringLiteral("添加新公司");
    case TreeCommand::AddModel:
        return QStringLiteral("添加投影机");
    case TreeCommand::DeleteCompany:
        return QStringLiteral("删除该公司");
    case TreeCommand::ModifyModel:
        return QStringLiteral("修改投影机");
    case TreeCommand::DeleteModel:
        return QStringLiteral("删除投影机");
    case TreeCommand::Refresh:
        return QStringLiteral("刷新");
    }
    return {};
}

bool MenuState::enabled(TreeCommand command) const {
    switch (command) {
    case TreeCommand::AddCompany:
        return addCompany;
    case TreeCommand::AddModel:
        return addModel;
    case TreeCommand::DeleteCompany:
        return deleteCompany;
    case TreeCommand::ModifyModel:
        return modifyModel;
    case TreeCommand::DeleteModel:
        return deleteModel;
    case TreeCommand::Refresh:
        return refresh;
    }
    return false;
}

CatalogueBrowser::CatalogueBrowser(CatalogueReader& catalogue, link::SelectedModel& model,
                                   QObject* parent)
    : QObject(parent)
    , catalogue_(catalogue)
    , model_(model)
    , codeList_(model) {}

QString CatalogueBrowser::rootText() {
    return QStringLiteral("选择投影机型号");
}

void CatalogueBrowser::build() {
    companies_.clear();
    QHash<int, qsizetype> byId;
    for (const CompanyEntry& c : catalogue_.companies()) {
        byId.insert(c.id, companies_.size());
        companies_.append(CompanyNode{c.id, c.name, {}});
    }
    for (const ModelEntry& m : catalogue_.models()) {
        const auto it = byId.constFind(m.companyId);
        if (it != byId.constEnd())
            companies_[*it].models.append(m);
    }
}

void CatalogueBrowser::reselect(const NodeRef& node) {
    if (node.kind != NodeKind::Model || !modelShown_) {
        select(node);
        return;
    }
    const std::optional<int> companyId = catalogue_.companyIdByName(node.companyText);
    const std::optional<int> modelId =
        companyId ? catalogue_.modelIdByName(node.text, *companyId) : std::nullopt;
    const std::optional<ModelContent> content = modelId ? catalogue_.model(*modelId) : std::nullopt;
    const link::CodeList& shown = model_.rows;
    bool same = content && content->baud == model_.selectedBaud &&
                content->description == description_ &&
                static_cast<std::size_t>(content->keys.size()) == shown.size();
    for (qsizetype i = 0; same && i < content->keys.size(); ++i) {
        const KeyEntry& key = content->keys[i];
        const link::CodeListEntry& row = shown[static_cast<std::size_t>(i)];
        same = key.name.toStdString() == row.name && key.codeText.toStdString() == row.codeText &&
               key.keyType == row.keyType && key.parity == row.parity;
    }
    if (same) {
        model_.selectedModelId = *modelId;
        return;
    }
    select(node);
}

void CatalogueBrowser::select(const NodeRef& node) {
    model_.lastParity = 0;
    if (node.kind != NodeKind::Model) {
        showNothing();
        return;
    }
    codeList_.clear();
    const std::optional<int> companyId = catalogue_.companyIdByName(node.companyText);
    const std::optional<int> modelId =
        companyId ? catalogue_.modelIdByName(node.text, *companyId) : std::nullopt;
    const std::optional<ModelContent> content = modelId ? catalogue_.model(*modelId) : std::nullopt;
    if (!content) {
        // The catalogue changed behind the tree: nothing can be written.
        showNothing();
        return;
    }

    link::CodeList rows;
    for (const KeyEntry& key : content->keys) {
        link::CodeListEntry entry;
        entry.name = key.name.toStdString();
        entry.codeText = key.codeText.toStdString();
        entry.keyType = key.keyType;
        entry.parity = key.parity;
        entry.status = link::RowStatus::Unconfirmed;
        model_.lastParity = key.parity;
        rows.push_back(std::move(entry));
    }
    if (!rows.empty())
        rows.front().selected = true;
    codeList_.setRows(std::move(rows));

    model_.selectedBaud = content->baud;
    model_.selectedBaudText = std::to_string(content->baud);
    model_.selectedModelId = *modelId;
    setDescription(content->description);
    setModelShown(true);
}

std::optional<MenuState> CatalogueBrowser::rightClick(const std::optional<NodeRef>& node) {
    if (!node)
        return std::nullopt;
    MenuState menu;
    menu.refresh = true;
    switch (node->kind) {
    case NodeKind::Root:
        insertMode_ = InsertCompany;
        menu.addCompany = true;
        break;
    case NodeKind::Company:
        insertMode_ = InsertModel;
        menu.addModel = true;
        menu.deleteCompany = true;
        if (const std::optional<int> id = catalogue_.companyIdByName(node->text))
            currentCompanyId_ = *id;
        break;
    case NodeKind::Model:
        insertMode_ = ModelClicked;
        menu.modifyModel = true;
        menu.deleteModel = true;
        break;
    }
    return menu;
}

qsizetype CatalogueBrowser::companyIndex(int id) const {
    for (qsizetype i = 0; i < companies_.size(); ++i)
        if (companies_[i].id == id)
            return i;
    return -1;
}

bool CatalogueBrowser::addCompanyNode(int id, const QString& name) {
    companies_.append(CompanyNode{id, name, {}});
    Q_EMIT companyNodeAdded(name);
    return true;
}

bool CatalogueBrowser::addModelNode(int id, int companyId, const QString& name) {
    const qsizetype c = companyIndex(companyId);
    if (c < 0)
        return false;
    companies_[c].models.append(ModelEntry{id, name, companyId});
    Q_EMIT modelNodeAdded(companies_[c].name, name);
    return true;
}

std::optional<std::pair<QString, QString>> CatalogueBrowser::modelNames(int id) const {
    for (const CompanyNode& c : companies_)
        for (const ModelEntry& m : c.models)
            if (m.id == id)
                return std::make_pair(c.name, m.name);
    return std::nullopt;
}

bool CatalogueBrowser::renameModelNode(int id, const QString& name) {
    for (CompanyNode& c : companies_) {
        for (ModelEntry& m : c.models) {
            if (m.id != id)
                continue;
            const QString old = m.name;
            m.name = name;
            if (old != name)
                Q_EMIT modelNodeRenamed(c.name, old, name);
            return true;
        }
    }
    return false;
}

bool CatalogueBrowser::removeModelNode(int id) {
    const auto names = modelNames(id);
    if (!names)
        return false;
    for (CompanyNode& c : companies_) {
        c.models.removeIf([id](const ModelEntry& m) { return m.id == id; });
        for (ModelEntry& m : c.models)
            if (m.id > id)
                --m.id;
    }
    if (model_.selectedModelId > id)
        --model_.selectedModelId;
    Q_EMIT modelNodeRemoved(names->first, names->second);
    return true;
}

bool CatalogueBrowser::removeCompanyNode(int id) {
    const qsizetype c = companyIndex(id);
    if (c < 0)
        return false;
    std::vector<int> removed; // ascending
    for (const ModelEntry& m : companies_[c].models)
        removed.push_back(m.id);
    std::sort(removed.begin(), removed.end());
    const QString name = companies_[c].name;
    companies_.removeAt(c);
    const auto below = [&removed](int modelId) {
        return static_cast<int>(std::lower_bound(removed.begin(), removed.end(), modelId) -
                                removed.begin());
    };
    for (CompanyNode& company : companies_) {
        if (company.id > id)
            --company.id;
        for (ModelEntry& m : company.models) {
            if (m.companyId > id)
                --m.companyId;
            m.id -= below(m.id);
        }
    }
    if (model_.selectedModelId > 0 &&
        !std::binary_search(removed.begin(), removed.end(), model_.selectedModelId))
        model_.selectedModelId -= below(model_.selectedModelId);
    Q_EMIT companyNodeRemoved(name);
    return true;
}

void CatalogueBrowser::showNothing() {
    codeList_.clear();
    model_.selectedModelId = -1;
    setDescription({});
    setModelShown(false);
}

void CatalogueBrowser::setModelShown(bool shown) {
    if (modelShown_ == shown)
        return;
    modelShown_ = shown;
    Q_EMIT modelShownChanged(shown);
}

void CatalogueBrowser::setDescription(const QString& text) {
    if (description_ == text)
        return;
    description_ = text;
    Q_EMIT descriptionChanged(text);
}

} // namespace pj::shell

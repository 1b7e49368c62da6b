#include "shell/cataloguebrowser.h"

#include <QHash>

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

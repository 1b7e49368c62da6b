#include "shell/editor/treecommands.h"

#include "shell/dialogs/messagedialog.h"
#include "shell/dialogs/modal.h"
#include "shell/editor/catalogueediting.h"
#include "shell/editor/companydialog.h"
#include "shell/editor/modeleditor.h"

namespace pj::shell {

void runTreeCommand(CatalogueEditing& editing, TreeCommand command,
                    const std::optional<NodeRef>& node, QWidget* parent,
                    const EditorServices& services) {
    if (!node)
        return;
    const auto report = [parent](const catalogue::Status& r) {
        if (!r)
            showMessage(parent, r.error().message);
    };
    switch (command) {
    case TreeCommand::AddCompany:
        if (node->kind == NodeKind::Root)
            CompanyDialog::run(editing, parent);
        return;
    case TreeCommand::AddModel:
        if (node->kind == NodeKind::Company)
            ModelEditor::runAdd(editing, node->text, parent, services);
        return;
    case TreeCommand::ModifyModel: {
        if (node->kind != NodeKind::Model)
            return;
        auto record = editing.loadModel(node->companyText, node->text);
        if (!record) {
            showMessage(parent, record.error().message);
            return;
        }
        ModelEditor::runModify(editing, node->companyText, *record, parent, services);
        return;
    }
    case TreeCommand::DeleteModel:
        if (node->kind != NodeKind::Model)
            return;
        if (MessageDialog::run(MessageDialog::ConfirmDelete, parent) == 1)
            report(editing.deleteModel(node->companyText, node->text));
        return;
    case TreeCommand::DeleteCompany:
        if (node->kind != NodeKind::Company)
            return;
        if (MessageDialog::run(MessageDialog::ConfirmDelete, parent) == 1)
            report(editing.deleteCompany(node->text));
        return;
    }
}

} // namespace pj::shell

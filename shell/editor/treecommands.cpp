#include "shell/editor/treecommands.h"

#include "shell/dialogs/messagedialog.h"
#include "shell/dialogs/modal.h"
#include "shell/editor/catalogueediting.h"
#include "shell/editor/companydialog.h"
#include "shell/editor/modeleditor.h"

namespace pj::shell {

void showEditError(QWidget* parent, const catalogue::Error& error) {
    if (error.code == catalogue::ErrorCode::Conflict)
        MessageDialog::notify(error.message, parent);
    else
        showMessage(parent, error.message);
}

void runTreeCommand(CatalogueEditing& editing, TreeCommand command,
                    const std::optional<NodeRef>& node, QWidget* parent,
                    const EditorServices& services) {
    if (!node)
        return;
    const auto report = [parent](const catalogue::Status& r) {
        if (!r)
            showEditError(parent, r.error());
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
            showEditError(parent, record.error());
            return;
        }
        ModelEditor::runModify(editing, node->companyText, *record, parent, services);
        return;
    }
    case TreeCommand::DeleteModel: {
        if (node->kind != NodeKind::Model)
            return;
        // The model is read before the question, so that a change someone
        // else makes while it is asked refuses the delete.
        auto record = editing.loadModel(node->companyText, node->text);
        if (!record) {
            showEditError(parent, record.error());
            return;
        }
        if (MessageDialog::run(MessageDialog::ConfirmDelete, parent) == 1)
            report(editing.deleteModel(node->companyText, *record));
        return;
    }
    case TreeCommand::DeleteCompany:
        if (node->kind != NodeKind::Company)
            return;
        if (MessageDialog::run(MessageDialog::ConfirmDelete, parent) == 1)
            report(editing.deleteCompany(node->text));
        return;
    case TreeCommand::Refresh:
        editing.refreshTree();
        return;
    }
}

} // namespace pj::shell

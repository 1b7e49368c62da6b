#pragma once
// What the tree's context-menu commands do, on the node the right click
// selected: "添加新公司" opens dialog 131, "添加投影机" dialog 132 for the
// company, "修改投影机" dialog 133 with the model as stored, "删除投影机" and
// "删除该公司" ask message dialog 140 "确定要删除吗？" and delete on "Ok",
// "刷新" reads the tree again from the catalogue. A
// command that does not fit the node does nothing; a failure is shown in a
// message box and changes nothing. The model editor gets `services` (the
// code checker and the test send).

#include "catalogue/result.h"
#include "shell/cataloguebrowser.h"
#include "shell/editor/modeleditor.h"

#include <optional>

class QWidget;

namespace pj::shell {

class CatalogueEditing;

// Shows a refused catalogue edit: a conflict with someone else's change in
// the skinned notice (MessageDialog::notify), any other refusal in a message box.
void showEditError(QWidget* parent, const catalogue::Error& error);

void runTreeCommand(CatalogueEditing& editing, TreeCommand command,
                    const std::optional<NodeRef>& node, QWidget* parent,
                    const EditorServices& services = {});

} // namespace pj::shell

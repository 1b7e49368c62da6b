#pragma once
// What the tree's context-menu commands do, on the node the right click
// selected: "添加新公司" opens dialog 131, "添加投影机" dialog 132 for the
// company, "修改投影机" dialog 133 with the model as stored, "删除投影机" and
// "删除该公司" ask message dialog 140 "确定要删除吗？" and delete on "Ok". A
// command that does not fit the node does nothing; a failure is shown in a
// message box and changes nothing. The model editor gets `services` (the
// code checker and the test send).

#include "shell/cataloguebrowser.h"
#include "shell/editor/modeleditor.h"

#include <optional>

class QWidget;

namespace pj::shell {

class CatalogueEditing;

void runTreeCommand(CatalogueEditing& editing, TreeCommand command,
                    const std::optional<NodeRef>& node, QWidget* parent,
                    const EditorServices& services = {});

} // namespace pj::shell

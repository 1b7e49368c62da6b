#pragma once
// The folder browser (dialog 131, "选择目录") of the POSIX setup: a tree with
// "/" and the home folder at the top, filled on demand (a folder is listed
// when it is first expanded or selected; folders show an expander when they
// have sub-folders), the path of the selected folder in edit 1022, "确定"
// and "取消". Hidden folders are not shown; their paths can be typed.
//
// Object names: "browser131", "edit1022", "tree1023", "button1024" (OK),
// "button1025" (Cancel).

#include "setup/setupdialogs.h"

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace pj::setup {

class FolderBrowser : public SetupDialog {
    Q_OBJECT
public:
    // `current`: the folder edit's text, shown in edit 1022 at first.
    FolderBrowser(const QString& current, QWidget* parent);

    // 1 after OK, 0 after Cancel or close (through the modal seam).
    int runModal();
    // Edit 1022's text when OK was pressed.
    QString chosenPath() const { return chosen_; }

    // The full path an item stands for.
    static QString itemPath(const QTreeWidgetItem* item);

private:
    void fill(QTreeWidgetItem* item);
    QTreeWidgetItem* addFolder(QTreeWidgetItem* parent, const QString& path, const QString& text);

    QLineEdit* edit_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QString chosen_;
};

} // namespace pj::setup

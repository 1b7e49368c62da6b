#include "setup/folderbrowser.h"

#include "shell/dialogs/modal.h"
#include "skin/units.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace pj::setup {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kListedRole = Qt::UserRole + 1;

QRect px(int x, int y, int w, int h) {
    return skin::dlu(x, y, w, h);
}

QIcon treeIcon(int id) {
    QIcon icon(setupPixmap(id, {16, 16}));
    return icon;
}

// The sub-folders to list: real folders, not hidden, by name.
QStringList subFolders(const QString& path) {
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                                QDir::Name | QDir::IgnoreCase);
}

bool hasSubFolder(const QString& path) {
    return !subFolders(path).isEmpty();
}

} // namespace

FolderBrowser::FolderBrowser(const QString& current, QWidget* parent)
    : SetupDialog(QStringLiteral("选择目录"), {228, 241}, parent) {
    setObjectName(QStringLiteral("browser131"));
    auto* prompt = new QLabel(QStringLiteral("请选择一个文件夹，然后点击“确定”。"), this);
    prompt->setObjectName(QStringLiteral("labelPrompt"));
    prompt->setGeometry(px(7, 23, 150, 11));
    edit_ = new QLineEdit(current, this);
    edit_->setObjectName(QStringLiteral("edit1022"));
    edit_->setGeometry(px(7, 41, 214, 14));
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("tree1023"));
    tree_->setGeometry(px(7, 60, 213, 138));
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setIconSize({16, 16});
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("button1024"));
    ok->setGeometry(px(108, 211, 47, 16));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("button1025"));
    cancel->setGeometry(px(167, 211, 50, 17));
    connect(ok, &QPushButton::clicked, this, [this] {
        chosen_ = edit_->text();
        done(1);
    });
    connect(cancel, &QPushButton::clicked, this, [this] { done(0); });

    auto* root = new QTreeWidgetItem(tree_, {QStringLiteral("/")});
    root->setData(0, kPathRole, QStringLiteral("/"));
    root->setIcon(0, treeIcon(132));
    const QString home = QDir::homePath();
    if (home != QStringLiteral("/")) {
        auto* homeItem = new QTreeWidgetItem(tree_, {home});
        homeItem->setData(0, kPathRole, home);
        homeItem->setIcon(0, treeIcon(133));
        if (hasSubFolder(home))
            new QTreeWidgetItem(homeItem); // expander until listed
    }
    fill(root);
    root->setExpanded(true);

    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { fill(item); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        edit_->setText(itemPath(item));
        fill(item);
    });
}

QString FolderBrowser::itemPath(const QTreeWidgetItem* item) {
    return item ? item->data(0, kPathRole).toString() : QString();
}

QTreeWidgetItem* FolderBrowser::addFolder(QTreeWidgetItem* parent, const QString& path,
                                          const QString& text) {
    auto* item = new QTreeWidgetItem(parent, {text});
    item->setData(0, kPathRole, path);
    QIcon icon;
    icon.addPixmap(setupPixmap(134, {16, 16}), QIcon::Normal);
    icon.addPixmap(setupPixmap(135, {16, 16}), QIcon::Selected);
    item->setIcon(0, icon);
    if (hasSubFolder(path))
        new QTreeWidgetItem(item);
    return item;
}

void FolderBrowser::fill(QTreeWidgetItem* item) {
    if (!item || item->data(0, kListedRole).toBool())
        return;
    item->setData(0, kListedRole, true);
    qDeleteAll(item->takeChildren());
    const QString path = itemPath(item);
    for (const QString& name : subFolders(path)) {
        const QString child =
            path.endsWith(QLatin1Char('/')) ? path + name : path + QLatin1Char('/') + name;
        addFolder(item, child, name);
    }
}

int FolderBrowser::runModal() {
    return shell::runModal(*this);
}

} // namespace pj::setup

#include "shell/dialogs/help.h"

#include "shell/dialogs/helpviewer.h"
#include "shell/dialogs/modal.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPointer>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTreeWidget>

#include <vector>

static void initHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace pj::shell {

namespace {

void ensureResources() {
    static const bool done = [] {
        initHelpResources();
        return true;
    }();
    (void)done;
}

struct TocEntry {
    int depth;
    QString name;
    QString local;
};

// Reads the table of contents (the help project's sitemap: nested lists of
// objects with "Name" and "Local" parameters).
std::vector<TocEntry> readContents() {
    ensureResources();
    QFile f(QStringLiteral(":/help/PROJECTOR.hhc"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(f.readAll());
    static const QRegularExpression token(
        QStringLiteral(R"re(<\s*(/?)\s*ul\b[^>]*>|<\s*object\b.*?<\s*/\s*object\s*>)re"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression param(
        QStringLiteral(R"re(<\s*param\s+name\s*=\s*"([^"]*)"\s+value\s*=\s*"([^"]*)")re"),
        QRegularExpression::CaseInsensitiveOption);
    std::vector<TocEntry> entries;
    int depth = -1;
    for (auto it = token.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const QString whole = m.captured(0);
        if (whole.contains(QStringLiteral("object"), Qt::CaseInsensitive) &&
            !whole.startsWith(QStringLiteral("<ul"), Qt::CaseInsensitive)) {
            TocEntry e{std::max(0, depth), {}, {}};
            for (auto p = param.globalMatch(whole); p.hasNext();) {
                const auto pm = p.next();
                if (pm.captured(1).compare(QStringLiteral("Name"), Qt::CaseInsensitive) == 0)
                    e.name = pm.captured(2);
                else if (pm.captured(1).compare(QStringLiteral("Local"), Qt::CaseInsensitive) == 0)
                    e.local = pm.captured(2);
            }
            if (!e.name.isEmpty())
                entries.push_back(e);
        } else if (m.captured(1).isEmpty()) {
            ++depth;
        } else {
            --depth;
        }
    }
    return entries;
}

} // namespace

HelpOpener::HelpOpener(QWidget* owner) {
    const QPointer<QWidget> guard(owner);
    platform_.hasViewer = [](const QString& path) { return desktopHasViewerFor(path); };
    platform_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    platform_.showOwnHelp = [guard] {
        HelpWindow w(guard.data());
        runModal(w);
    };
}

HelpOpener::Outcome HelpOpener::open(const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile())
        return Outcome::Missing; // nothing happens, as with the desktop's own opener
    const QString path = info.absoluteFilePath();
    if (platform_.hasViewer && platform_.hasViewer(path) && platform_.openUrl &&
        platform_.openUrl(QUrl::fromLocalFile(path)))
        return Outcome::Desktop;
    if (platform_.showOwnHelp)
        platform_.showOwnHelp();
    return Outcome::OwnWindow;
}

HelpWindow::HelpWindow(QWidget* parent)
    : SkinnedDialog(QStringLiteral("中控写码 帮助"), QSize(520, 340), parent) {
    ensureResources();
    setObjectName(QStringLiteral("helpWindow"));

    toc_ = new QTreeWidget(this);
    toc_->setObjectName(QStringLiteral("helpContents"));
    toc_->setHeaderHidden(true);
    toc_->setRootIsDecorated(true);

    page_ = new QTextBrowser(this);
    page_->setObjectName(QStringLiteral("helpPage"));
    page_->setSearchPaths({QStringLiteral(":/help")});
    page_->setOpenExternalLinks(false);

    // Inside the frame, below the strip.
    const QRect body = rect().adjusted(3 + 6, 26 + 6, -4 - 6, -4 - 6);
    const int tocWidth = 190;
    toc_->setGeometry(body.x(), body.y(), tocWidth, body.height());
    page_->setGeometry(body.x() + tocWidth + 6, body.y(), body.width() - tocWidth - 6,
                       body.height());

    std::vector<QTreeWidgetItem*> parents;
    QTreeWidgetItem* first = nullptr;
    for (const auto& e : readContents()) {
        parents.resize(static_cast<std::size_t>(e.depth));
        QTreeWidgetItem* item =
            parents.empty() ? new QTreeWidgetItem(toc_) : new QTreeWidgetItem(parents.back());
        item->setText(0, e.name);
        item->setData(0, Qt::UserRole, e.local);
        parents.push_back(item);
        if (!first)
            first = item;
    }
    toc_->expandAll();
    connect(toc_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        const QString local = item->data(0, Qt::UserRole).toString();
        if (!local.isEmpty())
            page_->setSource(QUrl(QStringLiteral("qrc:/help/") + local));
    });
    if (first)
        toc_->setCurrentItem(first);
    else
        page_->setSource(homePage());
}

QUrl HelpWindow::homePage() {
    const auto entries = readContents();
    const QString local = entries.empty() ? QStringLiteral("company.html") : entries.front().local;
    return QUrl(QStringLiteral("qrc:/help/") + local);
}

QStringList HelpWindow::contents() const {
    QStringList out;
    for (QTreeWidgetItemIterator it(toc_); *it; ++it) {
        int depth = 0;
        for (auto* p = (*it)->parent(); p; p = p->parent())
            ++depth;
        out << QString(depth * 2, QLatin1Char(' ')) + (*it)->text(0);
    }
    return out;
}

} // namespace pj::shell

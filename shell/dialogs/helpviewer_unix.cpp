#include "shell/dialogs/helpviewer.h"

#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace pj::shell {

// The freedesktop way: ask xdg-mime for the default application of the file's
// type. Without xdg-mime, or with no application registered, there is none.
bool desktopHasViewerFor(const QString& path) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return false;
    QStringList types{QMimeDatabase().mimeTypeForFile(path).name()};
    for (const auto* extra : {"application/vnd.ms-htmlhelp", "application/x-chm"}) {
        const QString t = QString::fromLatin1(extra);
        if (!types.contains(t))
            types << t;
    }
    for (const QString& type : types) {
        QProcess p;
        p.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(1000);
            continue;
        }
        if (!QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed().isEmpty())
            return true;
    }
    return false;
}

} // namespace pj::shell

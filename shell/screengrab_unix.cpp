#include "shell/screengrab.h"

#include <QProcess>

namespace pj::shell {

bool grabScreenArea(const QString& file, const QRect& area) {
    const QString crop = QStringLiteral("%1x%2+%3+%4")
                             .arg(area.width())
                             .arg(area.height())
                             .arg(area.x())
                             .arg(area.y());
    return QProcess::execute(QStringLiteral("import"),
                             {QStringLiteral("-window"), QStringLiteral("root"),
                              QStringLiteral("-crop"), crop, QStringLiteral("+repage"), file}) == 0;
}

} // namespace pj::shell

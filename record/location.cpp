#include "record/location.h"

#include <QDir>
#include <QFileInfo>

namespace pj::record {

QString recordFileFor(const QString& catalogueFile) {
    const QString env = qEnvironmentVariable(kRecordEnv);
    if (!env.trimmed().isEmpty())
        return env;
    const QFileInfo catalogue(catalogueFile.isEmpty() ? QStringLiteral(".") : catalogueFile);
    const QDir folder = catalogueFile.isEmpty() ? QDir::current() : catalogue.dir();
    return QDir::cleanPath(folder.filePath(QLatin1String(kRecordFileName)));
}

} // namespace pj::record

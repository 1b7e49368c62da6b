#pragma once
// Whether the desktop has a program registered for the type of a file (one
// implementation per platform).

#include <QString>

namespace pj::shell {

bool desktopHasViewerFor(const QString& path);

} // namespace pj::shell

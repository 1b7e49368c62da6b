// POSIX: install records are UTF-8, file names are bytes.
#include "install/text.h"

namespace pj::install {

std::optional<std::string> utf8ToAnsi(std::string_view utf8) {
    return std::string(utf8);
}

std::optional<std::string> ansiToUtf8(std::string_view ansi) {
    return std::string(ansi);
}

bool recordsPreferAnsi() {
    return false;
}

} // namespace pj::install

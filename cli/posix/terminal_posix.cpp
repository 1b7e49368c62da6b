#include "cli/terminal.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace pj::cli {

bool stdoutIsLiveTerminal() {
    if (!isatty(STDOUT_FILENO))
        return false;
    const char* term = std::getenv("TERM");
    return term && *term && std::strcmp(term, "dumb") != 0;
}

} // namespace pj::cli

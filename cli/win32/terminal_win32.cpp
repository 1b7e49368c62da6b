#include "cli/terminal.h"

#include <windows.h>

namespace pj::cli {

bool stdoutIsLiveTerminal() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode))
        return false; // redirected to a file or a pipe
    return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

} // namespace pj::cli

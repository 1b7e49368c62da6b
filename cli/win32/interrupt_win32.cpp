// Ctrl+C on Windows: the console control handler. Ctrl+C and Ctrl+Break set
// the flag and the process goes on to close the port and report. When the
// console window is closed (or the user logs off), Windows ends the process
// once the handler returns: the handler sets the flag and gives the command up
// to 3 s to finish first, so the port is closed and its settings put back.

#include "cli/interrupt.h"

#include "link/win32/winapi.h"

namespace pj::cli {

namespace {

std::atomic<bool> gActive{false};
std::atomic<bool> gScopeEnded{true};

BOOL WINAPI onConsoleControl(DWORD type) {
    if (!gActive.load())
        return FALSE; // the default: the process ends
    gInterrupted.store(true);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        for (int i = 0; i < 300 && !gScopeEnded.load(); ++i)
            Sleep(10);
    }
    return TRUE;
}

} // namespace

InterruptScope::InterruptScope(bool active)
    : active_(active) {
    if (!active_)
        return;
    gInterrupted = false;
    gScopeEnded = false;
    gActive = true;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptScope::~InterruptScope() {
    if (!active_)
        return;
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    gActive = false;
    gScopeEnded = true;
}

} // namespace pj::cli

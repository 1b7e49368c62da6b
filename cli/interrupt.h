#pragma once
// Ctrl+C during a command that waits (monitor, write --wait-echo): the wait
// ends and the command closes the port and reports, instead of the process
// being killed with the port open. One implementation per platform: POSIX
// signals SIGINT and SIGTERM (posix/interrupt_posix.cpp); Windows' console
// control handler for Ctrl+C, Ctrl+Break and the console window being closed
// (win32/interrupt_win32.cpp).

#include <atomic>

namespace pj::cli {

class InterruptScope {
public:
    // While the scope is alive and `active`, an interrupt sets `flag` (cleared
    // when the scope begins) instead of ending the process.
    InterruptScope(std::atomic<bool>& flag, bool active);
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    bool active_;
};

} // namespace pj::cli

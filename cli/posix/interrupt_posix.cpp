// Ctrl+C on POSIX: SIGINT (and SIGTERM) set the flag while a scope is active.

#include "cli/interrupt.h"

#include <csignal>

namespace pj::cli {

namespace {

std::atomic<bool> gActive{false};
void (*gOldInt)(int) = SIG_DFL;
void (*gOldTerm)(int) = SIG_DFL;

extern "C" void onInterrupt(int) {
    if (gActive.load())
        gInterrupted.store(true);
}

} // namespace

InterruptScope::InterruptScope(bool active)
    : active_(active) {
    if (!active_)
        return;
    gInterrupted = false;
    gActive = true;
    gOldInt = std::signal(SIGINT, onInterrupt);
    gOldTerm = std::signal(SIGTERM, onInterrupt);
}

InterruptScope::~InterruptScope() {
    if (!active_)
        return;
    std::signal(SIGINT, gOldInt);
    std::signal(SIGTERM, gOldTerm);
    gActive = false;
}

} // namespace pj::cli

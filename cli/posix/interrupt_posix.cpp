// Ctrl+C on POSIX: SIGINT (and SIGTERM) set the flag while a scope is active.

#include "cli/interrupt.h"

#include <csignal>

namespace pj::cli {

namespace {

std::atomic<std::atomic<bool>*> gFlag{nullptr};
void (*gOldInt)(int) = SIG_DFL;
void (*gOldTerm)(int) = SIG_DFL;

extern "C" void onInterrupt(int) {
    if (std::atomic<bool>* flag = gFlag.load())
        flag->store(true);
}

} // namespace

InterruptScope::InterruptScope(std::atomic<bool>& flag, bool active)
    : active_(active) {
    if (!active_)
        return;
    flag = false;
    gFlag = &flag;
    gOldInt = std::signal(SIGINT, onInterrupt);
    gOldTerm = std::signal(SIGTERM, onInterrupt);
}

InterruptScope::~InterruptScope() {
    if (!active_)
        return;
    std::signal(SIGINT, gOldInt);
    std::signal(SIGTERM, gOldTerm);
    gFlag = nullptr;
}

} // namespace pj::cli

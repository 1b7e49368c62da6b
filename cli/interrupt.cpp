#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace pj::cli {

namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int) {
    gInterrupted = true;
}

} // namespace

InterruptScope::InterruptScope(bool active)
    : active_(active) {
    if (!active_)
        return;
    gInterrupted = false;
    oldInt_ = std::signal(SIGINT, onInterrupt);
    oldTerm_ = std::signal(SIGTERM, onInterrupt);
}

InterruptScope::~InterruptScope() {
    if (!active_)
        return;
    std::signal(SIGINT, oldInt_);
    std::signal(SIGTERM, oldTerm_);
}

bool stopRequested(const LinkEnv& env) {
    return (env.stop && env.stop->load()) || gInterrupted.load();
}

} // namespace pj::cli

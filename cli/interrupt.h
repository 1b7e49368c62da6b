#pragma once
// Ctrl-C (SIGINT) and SIGTERM for projector-cli's waits and long runs: while
// an InterruptScope is alive they set a flag instead of ending the process, so
// the command can stop at its next pause and close what it opened.

#include "cli/link_commands.h"

namespace pj::cli {

class InterruptScope {
public:
    // An inactive scope leaves the signals alone (tests stop through LinkEnv::stop).
    explicit InterruptScope(bool active);
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    bool active_;
    void (*oldInt_)(int) = nullptr;
    void (*oldTerm_)(int) = nullptr;
};

// The environment's stop flag is set, or a signal came while a scope was alive.
bool stopRequested(const LinkEnv& env);

} // namespace pj::cli

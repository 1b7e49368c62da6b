#pragma once
// Ctrl-C for projector-cli's waits and long runs: while an InterruptScope is
// alive an interrupt sets a flag instead of ending the process, so the command
// can stop at its next pause and close what it opened. The handlers are
// platform code: POSIX signals SIGINT and SIGTERM (posix/interrupt_posix.cpp);
// Windows' console control handler for Ctrl+C, Ctrl+Break and the console
// window being closed (win32/interrupt_win32.cpp).

#include "cli/link_commands.h"
#include "link/clock.h"

#include <atomic>
#include <stop_token>
#include <thread>

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
};

// Set by the platform's handler while a scope is alive; cleared as a scope begins.
extern std::atomic<bool> gInterrupted;

// The environment's stop flag is set, or a signal came while a scope was alive.
bool stopRequested(const LinkEnv& env);

// Turns stopRequested(env) into the stop request the link core's sequences
// take. A watcher thread passes it on within a few milliseconds, so a long
// pause ends early; clock() (the environment's clock, for the channel) also
// passes it on as each pause begins, so a flag set before a pause always ends
// that pause, whatever the threads' timing.
class StopRelay {
public:
    explicit StopRelay(const LinkEnv& env);
    ~StopRelay();
    StopRelay(const StopRelay&) = delete;
    StopRelay& operator=(const StopRelay&) = delete;

    std::stop_token token() const { return source_.get_token(); }
    pj::link::Clock& clock() { return clock_; }

private:
    class RelayClock final : public pj::link::Clock {
    public:
        explicit RelayClock(StopRelay& relay)
            : relay_(relay) {}
        pj::link::Millis now() override;
        void sleep(pj::link::Millis d) override;
        bool pause(pj::link::Millis d, const std::stop_token& stop) override;

    private:
        StopRelay& relay_;
    };

    void check();

    const LinkEnv& env_;
    std::stop_source source_;
    RelayClock clock_;
    std::jthread watcher_;
};

} // namespace pj::cli

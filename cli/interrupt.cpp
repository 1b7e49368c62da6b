#include "cli/interrupt.h"

namespace pj::cli {

std::atomic<bool> gInterrupted{false};

bool stopRequested(const LinkEnv& env) {
    return (env.stop && env.stop->load()) || gInterrupted.load();
}

} // namespace pj::cli

namespace pj::cli {

StopRelay::StopRelay(const LinkEnv& env)
    : env_(env)
    , clock_(*this) {
    check();
    watcher_ = std::jthread([this](std::stop_token done) {
        while (!done.stop_requested() && !source_.stop_requested()) {
            check();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

StopRelay::~StopRelay() {
    watcher_.request_stop();
}

void StopRelay::check() {
    if (stopRequested(env_))
        source_.request_stop();
}

pj::link::Millis StopRelay::RelayClock::now() {
    return relay_.env_.clock->now();
}

void StopRelay::RelayClock::sleep(pj::link::Millis d) {
    relay_.env_.clock->sleep(d);
}

bool StopRelay::RelayClock::pause(pj::link::Millis d, const std::stop_token& stop) {
    relay_.check();
    return relay_.env_.clock->pause(d, stop);
}

} // namespace pj::cli

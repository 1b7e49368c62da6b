#pragma once
// Time as the protocol sees it. Sequences take a Clock so that tests run them
// in virtual time and check every pause.

#include <atomic>
#include <chrono>
#include <stop_token>

namespace pj::link {

using Millis = std::chrono::milliseconds;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Millis now() = 0;         // monotonic
    virtual void sleep(Millis d) = 0; //
    // A pause that a stop request ends: false when `stop` was requested before
    // the pause or while it lasted (it then ends early where the clock can).
    virtual bool pause(Millis d, const std::stop_token& stop);
};

class SystemClock final : public Clock {
public:
    Millis now() override;
    void sleep(Millis d) override;
    bool pause(Millis d, const std::stop_token& stop) override; // ends at the request
};

// Virtual time for tests: sleep() returns at once and moves now() forward.
// Safe to use from several threads (the serial reader sleeps on it too).
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(Millis start = Millis{0})
        : now_(start.count()) {}
    Millis now() override { return Millis{now_.load()}; }
    void sleep(Millis d) override {
        if (d.count() > 0)
            now_.fetch_add(d.count());
    }
    void advance(Millis d) { sleep(d); }

private:
    std::atomic<Millis::rep> now_;
};

} // namespace pj::link

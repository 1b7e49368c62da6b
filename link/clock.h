#pragma once
// Time as the protocol sees it. Sequences take a Clock so that tests run them
// in virtual time and check every pause.

#include <chrono>

namespace pj::link {

using Millis = std::chrono::milliseconds;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Millis now() = 0;         // monotonic
    virtual void sleep(Millis d) = 0; //
};

class SystemClock final : public Clock {
public:
    Millis now() override;
    void sleep(Millis d) override;
};

} // namespace pj::link

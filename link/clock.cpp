#include "link/clock.h"

#include <thread>

namespace pj::link {

Millis SystemClock::now() {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::sleep(Millis d) {
    if (d.count() > 0)
        std::this_thread::sleep_for(d);
}

} // namespace pj::link

#include "link/clock.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace pj::link {

bool Clock::pause(Millis d, const std::stop_token& stop) {
    if (stop.stop_requested())
        return false;
    sleep(d);
    return !stop.stop_requested();
}

bool SystemClock::pause(Millis d, const std::stop_token& stop) {
    if (stop.stop_requested())
        return false;
    if (!stop.stop_possible()) {
        sleep(d);
        return true;
    }
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_for(lock, stop, d, [] { return false; });
    return !stop.stop_requested();
}

Millis SystemClock::now() {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::sleep(Millis d) {
    if (d.count() > 0)
        std::this_thread::sleep_for(d);
}

} // namespace pj::link

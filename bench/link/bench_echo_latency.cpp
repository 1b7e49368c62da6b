// Echo latency: from the simulator's last byte of an echo to the row's
// confirmation by echo matching. The floor is the reader's 20 ms settle.
#include "bench_support.h"
#include "link/sequences.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace pj::bench;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::atoi(argv[1]) : 30;
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x09; // 19200
    SimRig rig(opt);
    pj::link::SelectedModel model;
    model.selectedBaud = 9600;
    model.rows = {benchRow(0, "02 50 4f 4e 03")};

    std::mutex mu;
    std::condition_variable cv;
    Steady::time_point confirmedAt{};
    int confirmations = 0;
    pj::link::CodeList rows = model.rows;
    rig.channel.setReceiveHandler([&](pj::link::Bytes block) {
        const auto at = Steady::now();
        std::lock_guard lock(mu);
        if (pj::link::matchEcho(rows, block)) {
            confirmedAt = at;
            ++confirmations;
            cv.notify_all();
        }
    });
    pj::link::SequenceObserver quiet;
    const auto r = pj::link::writeSelectedCodes(rig.channel, rig.shell, model, quiet);
    if (!r.ok() || !r.listening) {
        std::fprintf(stderr, "write failed: %s\n", r.message.c_str());
        return 1;
    }
    std::vector<double> latencies;
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(50ms);
        int before;
        {
            std::lock_guard lock(mu);
            before = confirmations;
        }
        rig.sim.press(0);
        const auto lastByte = Steady::now(); // press() returns once the burst is written
        std::unique_lock lock(mu);
        if (!cv.wait_for(lock, 2s, [&] { return confirmations > before; })) {
            std::fprintf(stderr, "press %d: no confirmation\n", i);
            return 1;
        }
        latencies.push_back(msSince(lastByte, confirmedAt));
    }
    std::sort(latencies.begin(), latencies.end());
    const auto pct = [&](double p) {
        return latencies[static_cast<std::size_t>(p * (latencies.size() - 1) + 0.5)];
    };
    std::printf("echo latency over %d presses (listening at 9600): min %.1f ms, median %.1f ms, "
                "p90 %.1f ms, max %.1f ms (floor 20 ms settle, target <= 40 ms)\n",
                presses, latencies.front(), pct(0.5), pct(0.9), latencies.back());
    return 0;
}

// Detection time: one silent port (a simulator that never answers) against the
// floor of 12 probes x (200 ms pause + 50 ms write settle); absent ports.
#include "bench_support.h"
#include "link/detection.h"

using namespace pj::bench;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 2;
    pj::sim::SimulatorOptions opt;
    opt.probes = pj::sim::ProbePolicy::None;
    SimRig rig(opt);
    pj::link::SequenceObserver quiet;
    const double floorMs = 12 * (200.0 + 50.0);
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        const std::vector<std::string> ports{rig.sim.portPath()};
        const auto t0 = Steady::now();
        const auto r = pj::link::detectionScan(rig.channel, ports, quiet);
        const double wall = msSince(t0);
        if (r.found) {
            std::fprintf(stderr, "a silent port answered\n");
            return 1;
        }
        worst = std::max(worst, wall / floorMs);
        std::printf("one silent port, run %d: %.1f ms, floor %.0f ms, ratio %.4f\n", run + 1, wall,
                    floorMs, wall / floorMs);
    }
    std::printf("worst ratio %.4f (target <= 1.05)\n", worst);

    std::vector<std::string> absent;
    for (int i = 0; i < 16; ++i)
        absent.push_back("/dev/pj-absent-" + std::to_string(i));
    auto t0 = Steady::now();
    auto r = pj::link::detectionScan(rig.channel, absent, quiet);
    std::printf("16 absent ports: %.2f ms (found: %s)\n", msSince(t0), r.found ? "yes" : "no");

    std::vector<std::string> mixed = absent;
    mixed.push_back(rig.sim.portPath());
    t0 = Steady::now();
    r = pj::link::detectionScan(rig.channel, mixed, quiet);
    const double wall = msSince(t0);
    std::printf("16 absent ports + one silent port: %.1f ms, ratio to one port's floor %.4f\n",
                wall, wall / floorMs);
    return 0;
}

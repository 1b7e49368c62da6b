// Write-sequence overhead: five rows written into the simulator, wall time
// against the protocol's floor. Per row the floor is the 400 ms chunk pause,
// 2 x 900 ms after the frame and the 50 ms settle of each of the two writes;
// the wire time of 67 bytes is nil on a pty.
#include "bench_support.h"
#include "link/sequences.h"

using namespace pj::bench;

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 5;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 2;
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x07; // 9600 baud programming speed
    SimRig rig(opt);
    const double floorMs = rows * (400.0 + 2 * 900.0 + 2 * 50.0);
    std::printf("write sequence, %d rows, edition %d at %d baud\n", rows, rig.shell.editionCode,
                rig.shell.controllerBaud);
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        pj::link::SelectedModel model;
        for (int i = 0; i < rows; ++i)
            model.rows.push_back(benchRow(static_cast<std::uint32_t>(i), "a0 01 0d 5f 33"));
        pj::link::SequenceObserver quiet;
        const auto t0 = Steady::now();
        const auto r = pj::link::writeSelectedCodes(rig.channel, rig.shell, model, quiet);
        const double wall = msSince(t0);
        rig.channel.close();
        if (!r.ok() || r.rowsWritten != static_cast<std::size_t>(rows)) {
            std::fprintf(stderr, "write failed: %s\n", r.message.c_str());
            return 1;
        }
        const double ratio = wall / floorMs;
        worst = std::max(worst, ratio);
        std::printf("  run %d: wall %.1f ms, floor %.0f ms, ratio %.4f (overhead %.1f ms, %.1f ms "
                    "per row)\n",
                    run + 1, wall, floorMs, ratio, wall - floorMs, (wall - floorMs) / rows);
    }
    int frames = 0;
    for (const auto& e : rig.sim.log().snapshot())
        frames += e.kind() == "frame";
    std::printf("  frames stored by the simulator: %d of %d\n", frames, rows * runs);
    std::printf("worst ratio %.4f (target <= 1.03)\n", worst);
    return 0;
}

#pragma once
// Shared by the link benchmarks: a simulator with a channel on its pty.

#include "link/observer.h"
#include "link/serialchannel.h"
#include "sim/simulator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pj::bench {

using Steady = std::chrono::steady_clock;

inline double msSince(Steady::time_point t0, Steady::time_point t1 = Steady::now()) {
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

struct SimRig {
    explicit SimRig(pj::sim::SimulatorOptions opt)
        : sim(opt)
        , channel(pj::link::makeSystemSerialPort(), clock) {
        std::string error;
        if (!sim.start(error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            std::exit(1);
        }
        channel.setMessageSink(
            [](const std::string& m) { std::fprintf(stderr, "message: %s\n", m.c_str()); });
        shell.portName = sim.portPath();
        shell.editionCode = sim.config().editionCode;
        shell.controllerBaud = sim.config().programmingBaud;
        shell.machineType = sim.config().machineType;
    }
    pj::link::SystemClock clock;
    pj::sim::Simulator sim;
    pj::link::SerialChannel channel;
    pj::link::ShellState shell;
};

inline pj::link::CodeListEntry benchRow(std::uint32_t key, std::string code) {
    pj::link::CodeListEntry e;
    e.codeText = std::move(code);
    e.keyType = key;
    e.selected = true;
    return e;
}

} // namespace pj::bench

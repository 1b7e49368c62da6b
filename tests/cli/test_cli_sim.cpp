// projector-cli against the controller simulator on a pty, in real time.
#include "cli_test_support.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <thread>

using namespace pj::cli;
using namespace pj::cli::testing;
using namespace std::chrono_literals;

namespace {

struct SimFixture {
    explicit SimFixture(pj::sim::SimulatorOptions opt)
        : sim(opt) {
        std::string error;
        started = sim.start(error);
        EXPECT_TRUE(started) << error;
        env = systemLinkEnv();
        env.stop = &stop;
    }
    pj::sim::Simulator sim;
    bool started = false;
    LinkEnv env;
    std::atomic<bool> stop{false};
};

} // namespace

TEST(CliWithSimulator, DetectFindsAControllerThatAnswersOnlyTheFirstProbe) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x01; // edition 21 at 600: found on the first speed
    opt.probes = pj::sim::ProbePolicy::First;
    SimFixture f(opt);
    ASSERT_TRUE(f.started);
    const CliRun r =
        runCommand(detectCommand,
                   {"--port", "/dev/pj-no-such-port", "--port", f.sim.portPath(), "--json"}, f.env);
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(r.out, "{\"port\":\"" + f.sim.portPath() + "\",\"edition\":21,\"baud\":600}\n");
}

TEST(CliWithSimulator, WriteThenKeyPressConfirmsTheRow) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x09; // 2009 at 19200, colon-first, group A
    SimFixture f(opt);
    ASSERT_TRUE(f.started);
    CliRun r;
    std::thread cli([&] {
        r = runCommand(writeCommand,
                       {"--port", f.sim.portPath(), "--edition", "2009", "--projector-baud", "4800",
                        "--code", "7:none:02 00 00 00 00 02", "--wait-echo", "10", "--json"},
                       f.env);
    });
    // The tool reopens the port at the projector's speed once the frame is in.
    const auto frame = f.sim.log().waitFor("frame", 5s);
    std::size_t at = 0;
    const bool listening = f.sim.log()
                               .waitFor(
                                   [](const pj::sim::Event& e) {
                                       return e.kind() == "line" && e.number("baud") == 4800;
                                   },
                                   5s, 0, &at)
                               .has_value();
    if (listening) {
        std::this_thread::sleep_for(50ms);
        f.sim.press(7);
    } else {
        f.stop = true;
    }
    cli.join();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->number("projector_baud"), 4800);
    ASSERT_TRUE(listening);
    EXPECT_EQ(r.code, kOk) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[1], R"({"event":"listening","baud":4800,"parity":"none"})");
    EXPECT_EQ(lines[2], R"({"event":"confirmed","row":0})");
}

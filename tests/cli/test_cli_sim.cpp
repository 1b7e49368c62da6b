// projector-cli against the controller simulator on a pty, in real time.
#include "cli_test_support.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace pj::cli;
using namespace pj::cli::testing;
using namespace std::chrono_literals;

namespace {

bool runningUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

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
    // The tool reopens the port at the projector's speed once the frame is in
    // (it tried that line once before the frame as well).
    std::size_t frameAt = 0;
    const auto frame = f.sim.log().waitFor("frame", 5s, 0, &frameAt);
    std::size_t at = 0;
    const bool listening = f.sim.log()
                               .waitFor(
                                   [](const pj::sim::Event& e) {
                                       return e.kind() == "line" && e.number("baud") == 4800;
                                   },
                                   5s, frameAt, &at)
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

TEST(CliWithSimulator, ListensAtAProjectorSpeedWithoutASpeedConstant) {
    if (runningUnderWine())
        GTEST_SKIP() << "skipped on Windows: Wine's serial layer sets only the speeds the "
                        "terminal interface has constants for, and 14400 is not one of them";
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x09; // 2009 at 19200, group A: 14400 is sent as 0xFF
    SimFixture f(opt);
    ASSERT_TRUE(f.started);
    const CliRun r = runCommand(writeCommand,
                                {"--port", f.sim.portPath(), "--edition", "2009",
                                 "--projector-baud", "14400", "--code", "3:odd:a0 01", "--json"},
                                f.env);
    EXPECT_EQ(r.code, kOk) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[1], R"({"event":"listening","baud":14400,"parity":"odd"})");
    std::size_t frameAt = 0;
    ASSERT_TRUE(f.sim.log().waitFor("frame", 2s, 0, &frameAt));
    EXPECT_TRUE(f.sim.log().waitFor(
        [](const pj::sim::Event& e) { return e.kind() == "line" && e.number("baud") == 14400; }, 2s,
        frameAt));
}

TEST(CliWithSimulator, AnAdapterPulledAfterTheLastFrameFailsTheWrite) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x07; // 2007 at 9600
    SimFixture f(opt);
    ASSERT_TRUE(f.started);
    CliRun r;
    std::thread cli([&] {
        r = runCommand(writeCommand,
                       {"--port", f.sim.portPath(), "--edition", "2007", "--projector-baud", "9600",
                        "--code", "1:none:01 02", "--wait-echo", "5"},
                       f.env);
    });
    // The frame is in; the tool waits its 1.8 s before it listens.
    const bool framed = f.sim.log().waitFor("frame", 5s).has_value();
    f.sim.unplug();
    cli.join();
    ASSERT_TRUE(framed);
    EXPECT_EQ(r.code, kFailed) << r.out << r.err;
    EXPECT_NE(r.err.find(f.sim.portPath()), std::string::npos) << r.err;
}

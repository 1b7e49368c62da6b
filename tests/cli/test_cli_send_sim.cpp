// projector-cli send against the simulated projector on a pty, in real time:
// one family at a time, as a technician would try a code.
#include "cli/send_command.h"
#include "cli_test_support.h"
#include "sim/projectorsim.h"

#include <gtest/gtest.h>

using namespace pj::cli;
using namespace pj::cli::testing;
using namespace std::chrono_literals;

namespace {

struct Projector {
    explicit Projector(pj::sim::ProjectorFamily family)
        : sim([family] {
            pj::sim::ProjectorSimulatorOptions o;
            o.projector.family = family;
            return o;
        }()) {
        std::string error;
        started = sim.start(error);
        EXPECT_TRUE(started) << error;
    }
    CliRun send(const std::string& baud, const std::string& code,
                std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--port", sim.portPath(), "--baud", baud, "--code", code};
        args.insert(args.end(), more.begin(), more.end());
        return runCommand(sendCommand, args, systemLinkEnv());
    }
    pj::sim::ProjectorSimulator sim;
    bool started = false;
};

} // namespace

TEST(SendToProjector, Epson_ShowsTheColonPrompt) {
    Projector p(pj::sim::ProjectorFamily::Epson);
    ASSERT_TRUE(p.started);
    const CliRun r = p.send("9600", "50 57 52 20 4f 4e 0d", {"--wait", "500"});
    EXPECT_EQ(r.code, kOk) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[2], "  十六进制: 3a");
    EXPECT_EQ(lines[3], "  文本: :");
}

TEST(SendToProjector, Nec_ShowsItsAcknowledgementFrame) {
    Projector p(pj::sim::ProjectorFamily::Nec);
    ASSERT_TRUE(p.started);
    const CliRun r = p.send("38400", "02 00 00 00 00 02", {"--wait", "500"});
    EXPECT_EQ(r.code, kOk) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[2], "  十六进制: 22 00 01 20 00 43");
    EXPECT_EQ(lines[3], "  文本: \"\\x00\\x01 \\x00C");
}

TEST(SendToProjector, Silent_SaysThereWasNoAnswer) {
    Projector p(pj::sim::ProjectorFamily::Silent);
    ASSERT_TRUE(p.started);
    const CliRun r = p.send("9600", "50 57 52 20 4f 4e 0d", {"--wait", "300"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "投影机在 300 毫秒内没有应答\n");
    EXPECT_TRUE(p.sim.log().waitFor("rx", 2s));
}

TEST(SendToProjector, WrongSpeed_SaysThereWasNoAnswer) {
    Projector p(pj::sim::ProjectorFamily::Nec);
    ASSERT_TRUE(p.started);
    const CliRun r = p.send("9600", "02 00 00 00 00 02", {"--wait", "300", "--json"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_NE(r.out.find("\"outcome\":\"no-answer\""), std::string::npos) << r.out;
    EXPECT_TRUE(p.sim.log().waitFor("noise", 2s));
}

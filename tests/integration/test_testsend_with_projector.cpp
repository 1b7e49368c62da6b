// Test send through the real termios port against the simulated projector on
// a pseudo-terminal, one family at a time, with the real clock.
#include "link/testsend.h"
#include "sim/projectorsim.h"

#include <gtest/gtest.h>

using namespace pj::link;
using namespace std::chrono_literals;

namespace {

struct Bench {
    explicit Bench(pj::sim::ProjectorFamily family, std::chrono::milliseconds delay = 0ms,
                   bool on = false, std::uint32_t baud = 0)
        : sim([&] {
            pj::sim::ProjectorSimulatorOptions o;
            o.projector.family = family;
            o.projector.replyDelay = delay;
            o.projector.startOn = on;
            o.projector.baud = baud;
            return o;
        }())
        , channel(makeSystemSerialPort(), clock) {
        std::string error;
        started = sim.start(error);
        EXPECT_TRUE(started) << error;
        channel.setMessageSink([this](const std::string& m) {
            std::lock_guard lock(mu);
            messages.push_back(m);
        });
    }
    TestSendResult send(const Bytes& code, std::uint32_t baud, Millis wait = Millis{600}) {
        return testSend(channel, {sim.portPath(), {baud, 8, 0, 1}, code, wait});
    }
    // The bytes the projector's side read from the line, in order.
    Bytes received() const {
        Bytes out;
        for (const auto& e : sim.log().snapshot()) {
            if (e.kind() != "rx")
                continue;
            const std::string hex = e.text("bytes").value_or("");
            for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
                out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return out;
    }

    pj::sim::ProjectorSimulator sim;
    bool started = false;
    SystemClock clock;
    SerialChannel channel;
    std::mutex mu;
    std::vector<std::string> messages;
};

Bytes str(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

} // namespace

TEST(TestSendWithProjector, Epson_AnswersTheColonPromptAfterItsDelay) {
    Bench b(pj::sim::ProjectorFamily::Epson, 150ms);
    ASSERT_TRUE(b.started);
    const TestSendResult r = b.send(str("PWR ON\r"), 9600);
    ASSERT_EQ(r.outcome, TestSendOutcome::Answered) << r.message;
    EXPECT_EQ(r.answer(), str(":"));
    ASSERT_TRUE(r.firstByte());
    EXPECT_GE(*r.firstByte(), Millis{150});
    EXPECT_LT(*r.firstByte(), Millis{500});
    EXPECT_TRUE(b.sim.poweredOn());

    const TestSendResult q = b.send(str("PWR?\r"), 9600);
    EXPECT_EQ(answerText(q.answer()), "PWR=01\\r:");
    EXPECT_EQ(b.received(), str("PWR ON\rPWR?\r"));
}

TEST(TestSendWithProjector, Epson_AtASpeedWithoutASpeedConstant_Answers) {
    Bench b(pj::sim::ProjectorFamily::Epson, 0ms, false, 14400);
    ASSERT_TRUE(b.started);
    const TestSendResult r = b.send(str("PWR ON\r"), 14400);
    ASSERT_EQ(r.outcome, TestSendOutcome::Answered) << r.message;
    EXPECT_EQ(r.answer(), str(":"));
}

TEST(TestSendWithProjector, Epson_RefusedCommandAnswersErr) {
    Bench b(pj::sim::ProjectorFamily::Epson);
    ASSERT_TRUE(b.started);
    const TestSendResult r = b.send(str("SOURCE 41\r"), 9600); // in standby
    EXPECT_EQ(answerText(r.answer()), "ERR\\r:");
}

TEST(TestSendWithProjector, Epson_AtTheWrongSpeed_GivesNoAnswer) {
    Bench b(pj::sim::ProjectorFamily::Epson);
    ASSERT_TRUE(b.started);
    const TestSendResult r = b.send(str("PWR ON\r"), 19200, Millis{400});
    EXPECT_EQ(r.outcome, TestSendOutcome::NoAnswer);
    EXPECT_EQ(r.message, "投影机在 400 毫秒内没有应答");
    EXPECT_TRUE(b.sim.log().waitFor("noise", 2s));
    EXPECT_FALSE(b.sim.poweredOn());
}

TEST(TestSendWithProjector, Nec_AcknowledgesWithItsChecksum) {
    Bench b(pj::sim::ProjectorFamily::Nec);
    ASSERT_TRUE(b.started);
    const TestSendResult r = b.send({0x02, 0x00, 0x00, 0x00, 0x00, 0x02}, 38400);
    ASSERT_EQ(r.outcome, TestSendOutcome::Answered) << r.message;
    EXPECT_EQ(r.answer(), (Bytes{0x22, 0x00, 0x01, 0x20, 0x00, 0x43}));
    EXPECT_TRUE(b.sim.poweredOn());
}

TEST(TestSendWithProjector, Nec_FrameWithAWrongChecksumIsNotAnswered) {
    Bench b(pj::sim::ProjectorFamily::Nec);
    ASSERT_TRUE(b.started);
    const TestSendResult r = b.send({0x02, 0x00, 0x00, 0x00, 0x00, 0x03}, 38400, Millis{400});
    EXPECT_EQ(r.outcome, TestSendOutcome::NoAnswer);
    EXPECT_EQ(b.received(), (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x03}));
}

TEST(TestSendWithProjector, Silent_TakesTheCodeAndSaysNothing) {
    Bench b(pj::sim::ProjectorFamily::Silent);
    ASSERT_TRUE(b.started);
    const TestSendResult r =
        b.send({0xa9, 0x17, 0x2e, 0x00, 0x00, 0x00, 0x3f, 0x9a}, 9600, Millis{400});
    EXPECT_EQ(r.outcome, TestSendOutcome::NoAnswer);
    EXPECT_TRUE(r.blocks.empty());
    EXPECT_EQ(b.received(), (Bytes{0xa9, 0x17, 0x2e, 0x00, 0x00, 0x00, 0x3f, 0x9a}));
}

TEST(TestSendWithProjector, PortThatIsNotThere_IsSaidPlainly) {
    Bench b(pj::sim::ProjectorFamily::Epson);
    const TestSendResult r = testSend(
        b.channel, {"/dev/pj-no-such-port", {9600, 8, 0, 1}, str("PWR ON\r"), Millis{400}});
    EXPECT_EQ(r.outcome, TestSendOutcome::PortUnavailable);
    EXPECT_EQ(r.message, "无法打开串口 /dev/pj-no-such-port");
}

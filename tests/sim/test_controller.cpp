// The controller's behaviour without a pty: chosen times and line settings.
#include "sim/controller.h"

#include <gtest/gtest.h>

using namespace pj::sim;
using namespace std::chrono_literals;
using pj::link::Chunking;

namespace {

ControllerConfig configFor(std::uint8_t answer, int machineType = -1) {
    std::string error;
    auto c = configForAnswer(answer, machineType, error);
    EXPECT_TRUE(c.has_value()) << error;
    return c.value_or(ControllerConfig{});
}

LineSettings at(std::uint32_t baud, bool odd = false) {
    return LineSettings{true, baud, odd};
}

Bytes frameBytes(std::uint8_t reload, std::uint8_t key, const Bytes& code, std::uint8_t parity,
                 std::uint8_t visualizer) {
    Bytes f(67, 0);
    f[0] = 0x3A;
    f[1] = reload;
    f[2] = static_cast<std::uint8_t>(code.size());
    f[3] = key;
    std::copy(code.begin(), code.end(), f.begin() + 4);
    f[65] = parity;
    f[66] = visualizer;
    return f;
}

struct Harness {
    explicit Harness(ControllerConfig c)
        : core(c) {}
    Bytes send(std::span<const std::uint8_t> bytes, std::chrono::milliseconds when,
               LineSettings line) {
        return core.receive(bytes, t0 + when, line, events);
    }
    // One frame in two writes, `cut` bytes first, `gap` later the rest.
    void sendFrame(const Bytes& f, std::size_t cut, std::chrono::milliseconds start,
                   std::chrono::milliseconds gap, LineSettings line) {
        send(std::span(f).first(cut), start, line);
        send(std::span(f).subspan(cut), start + gap, line);
    }
    int count(std::string_view kind) const {
        int n = 0;
        for (const auto& e : events)
            n += e.kind() == kind;
        return n;
    }
    const Event* last(std::string_view kind) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->kind() == kind)
                return &*it;
        }
        return nullptr;
    }
    ControllerCore core;
    std::vector<Event> events;
    SteadyTime t0 = std::chrono::steady_clock::now();
};

const Bytes kProbe{0xAA};

} // namespace

TEST(SimConfig, AnswerByteFixesEditionSpeedAndChunking) {
    auto net = configFor(0x11);
    EXPECT_EQ(net.editionCode, 21);
    EXPECT_EQ(net.programmingBaud, 1200);
    EXPECT_EQ(net.machineType, 1); // 1200 is the network speed of edition 21
    EXPECT_EQ(net.chunking, Chunking::HeaderFirst);

    auto standalone = configFor(0x01);
    EXPECT_EQ(standalone.programmingBaud, 600);
    EXPECT_EQ(standalone.chunking, Chunking::ColonFirst);

    EXPECT_EQ(configFor(0x06).chunking, Chunking::ColonFirst); // 2006 runs 9600 either way
    EXPECT_EQ(configFor(0x06, 1).chunking, Chunking::HeaderFirst);
    EXPECT_EQ(configFor(0x31, 1).chunking, Chunking::ColonFirst); // edition 31 has one way only
    EXPECT_EQ(configFor(0x08).programmingBaud, 115200);

    std::string error;
    EXPECT_FALSE(configForAnswer(0x05, -1, error));
    EXPECT_NE(error.find("0x05"), std::string::npos);
    EXPECT_FALSE(configForAnswer(0x11, 2, error));
}

TEST(SimProbe, AnsweredOnlyAtProgrammingSpeed) {
    Harness h(configFor(0x11));
    EXPECT_TRUE(h.send(kProbe, 0ms, at(600)).empty());
    EXPECT_TRUE(h.send(kProbe, 200ms, at(9600)).empty());
    EXPECT_EQ(h.send(kProbe, 400ms, at(1200)), (Bytes{0xAA, 0x11}));
    EXPECT_EQ(h.send(kProbe, 600ms, at(1200)), (Bytes{0xAA, 0x11}));
    EXPECT_EQ(h.count("probe"), 4);
    EXPECT_EQ(h.count("answer"), 2);
}

TEST(SimProbe, FirstOfThreeAndSilentPolicies) {
    auto c = configFor(0x07);
    c.probes = ProbePolicy::First;
    Harness h(c);
    std::vector<bool> answered;
    for (int i = 0; i < 6; ++i)
        answered.push_back(!h.send(kProbe, i * 200ms, at(9600)).empty());
    EXPECT_EQ(answered, (std::vector<bool>{true, false, false, true, false, false}));
    // A new scan, seconds later, is answered at its first probe again.
    EXPECT_FALSE(h.send(kProbe, 5000ms, at(9600)).empty());
    EXPECT_TRUE(h.send(kProbe, 5200ms, at(9600)).empty());

    c.probes = ProbePolicy::None;
    Harness silent(c);
    EXPECT_TRUE(silent.send(kProbe, 0ms, at(9600)).empty());
    EXPECT_EQ(silent.count("probe"), 1);
}

TEST(SimFrame, HeaderFirstUnitStoresKeyWithItsLineSettings) {
    Harness h(configFor(0x11)); // edition 21 network, group A
    const Bytes code{0xA0, 0x01, 0x0D};
    h.sendFrame(frameBytes(0xFC, 3, code, 1, 2), 5, 0ms, 400ms, at(1200));
    const Event* f = h.last("frame");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->number("key"), 3);
    EXPECT_EQ(f->number("gap_ms"), 400);
    EXPECT_EQ(f->text("code"), "a0 01 0d");
    EXPECT_EQ(f->text("parity"), "odd");
    const auto& k = h.core.keys().at(3);
    EXPECT_EQ(k.code, code);
    EXPECT_EQ(k.reload, 0xFC);
    EXPECT_EQ(k.projectorBaud, 9600u);
    EXPECT_EQ(k.parity, 1);
    EXPECT_EQ(k.visualizer, 2);
}

TEST(SimFrame, ShortPauseOrWrongChunkingIsRejected) {
    Harness h(configFor(0x11)); // header-first
    const auto f = frameBytes(0xFC, 1, {0x11}, 0, 1);
    h.sendFrame(f, 5, 0ms, 299ms, at(1200));    // pause too short
    h.sendFrame(f, 1, 1000ms, 400ms, at(1200)); // colon-first to a header-first unit
    EXPECT_EQ(h.count("rejected"), 2);
    EXPECT_EQ(h.last("rejected")->text("reason"), "pause");
    EXPECT_TRUE(h.core.keys().empty());

    Harness colon(configFor(0x01));             // colon-first
    colon.sendFrame(f, 5, 0ms, 400ms, at(600)); // header-first to a colon-first unit
    EXPECT_TRUE(colon.core.keys().empty());
    colon.sendFrame(f, 1, 1000ms, 300ms, at(600));
    EXPECT_EQ(colon.core.keys().count(1), 1u);
}

TEST(SimFrame, GroupBReloadAndBadFields) {
    Harness h(configFor(0x07)); // 2007, group B, colon-first, 9600
    h.sendFrame(frameBytes(0xF4, 0, {0x01}, 2, 1), 1, 0ms, 400ms, at(9600));
    EXPECT_EQ(h.core.keys().at(0).projectorBaud, 9600u);
    h.sendFrame(frameBytes(0xFF, 0, {}, 0, 1), 1, 2000ms, 400ms, at(9600));
    EXPECT_EQ(h.core.keys().at(0).projectorBaud, 115200u);
    EXPECT_TRUE(h.core.keys().at(0).code.empty());

    auto tooLong = frameBytes(0xF4, 4, {}, 0, 1);
    tooLong[2] = 62;
    h.sendFrame(tooLong, 1, 4000ms, 400ms, at(9600));
    EXPECT_EQ(h.last("rejected")->text("reason"), "length");
    h.sendFrame(frameBytes(0xF4, 18, {0x01}, 0, 1), 1, 6000ms, 400ms, at(9600));
    EXPECT_EQ(h.last("rejected")->text("reason"), "key");
    EXPECT_EQ(h.core.keys().size(), 1u);
}

TEST(SimFrame, WrongSpeedAndUnfinishedFramesStoreNothing) {
    Harness h(configFor(0x01)); // 600 baud
    const auto f = frameBytes(0xFC, 1, {0x11}, 0, 1);
    h.sendFrame(f, 1, 0ms, 400ms, at(1200));
    EXPECT_TRUE(h.core.keys().empty());
    EXPECT_GE(h.count("noise"), 1);

    h.send(std::span(f).first(1), 1000ms, at(600));
    ASSERT_TRUE(h.core.nextDeadline().has_value());
    h.core.expire(h.t0 + 1000ms + h.core.config().partialTimeout, h.events);
    EXPECT_EQ(h.last("rejected")->text("reason"), "incomplete");
    // After the drop the unit is idle again and answers a probe.
    EXPECT_FALSE(h.send(kProbe, 5000ms, at(600)).empty());
}

TEST(SimRoomAndCard, BlocksArriveWithTheirFields) {
    Harness h(configFor(0x09)); // 19200
    h.send(Bytes{0x5A}, 0ms, at(19200));
    h.send(Bytes{0x2C, 0x00, 0x01, 0x01, 0x05, 0x00, 0x01, 0x01}, 500ms, at(19200));
    ASSERT_EQ(h.core.roomBlocks().size(), 1u);
    EXPECT_EQ(h.core.roomBlocks()[0].gapMs, 500);
    EXPECT_EQ(h.last("room")->number("off_delay"), 0x2C);
    EXPECT_EQ(h.last("room")->number("network"), 1);

    h.send(Bytes{0xCF, 0xBB, '0', '1', '2', 0x02, 0x55}, 1000ms, at(19200));
    ASSERT_EQ(h.core.cards().size(), 1u);
    EXPECT_EQ(h.core.cards()[0].number, (Bytes{'0', '1', '2'}));
    EXPECT_EQ(h.last("card")->text("number"), "012");
    // An empty number still makes a card frame.
    h.send(Bytes{0xCF, 0xBB, 0x02, 0x55}, 1200ms, at(19200));
    EXPECT_EQ(h.core.cards().size(), 2u);
    // 0xCF not followed by 0xBB is no card; the next byte is taken as itself.
    EXPECT_EQ(h.send(Bytes{0xCF, 0xAA}, 1400ms, at(19200)), (Bytes{0xAA, 0x09}));
    EXPECT_EQ(h.core.cards().size(), 2u);
}

TEST(SimPress, EchoOnlyAtStoredSpeedAndParity) {
    Harness h(configFor(0x11));
    const Bytes code{0x50, 0x57, 0x52, 0x0D};
    h.sendFrame(frameBytes(0xFE, 5, code, 1, 1), 5, 0ms, 400ms, at(1200));    // 19200 odd
    h.sendFrame(frameBytes(0xFC, 6, code, 2, 1), 5, 2000ms, 400ms, at(1200)); // 9600 even
    const auto t = h.t0 + 5000ms;

    EXPECT_EQ(h.core.press(5, at(19200, true), t, h.events), code);
    EXPECT_EQ(h.last("echo")->flag("garbled"), false);
    for (const auto& line : {at(19200, false), at(9600, true)}) {
        const Bytes g = h.core.press(5, line, t, h.events);
        ASSERT_EQ(g.size(), code.size());
        for (std::size_t i = 0; i < g.size(); ++i)
            EXPECT_NE(g[i], code[i]);
        EXPECT_EQ(h.last("echo")->flag("garbled"), true);
    }
    // Even parity cannot be told from none on a pty: both get the code.
    EXPECT_EQ(h.core.press(6, at(9600, false), t, h.events), code);

    EXPECT_TRUE(h.core.press(7, at(9600), t, h.events).empty()); // nothing stored
    EXPECT_TRUE(h.core.press(6, LineSettings{false, 9600, false}, t, h.events).empty());
    EXPECT_EQ(h.last("press")->flag("listening"), false);
}

TEST(SimEvent, JsonLineAndFieldAccess) {
    Event e("card");
    e.add("number", "a\"b\\c\n").add("n", 7).add("ok", true).addHex("bytes", Bytes{0x0A, 0xFF});
    e.setTimeMs(12);
    EXPECT_EQ(e.json(), "{\"t\":12,\"event\":\"card\",\"number\":\"a\\\"b\\\\c\\n\",\"n\":7,"
                        "\"ok\":true,\"bytes\":\"0a ff\"}");
    EXPECT_EQ(e.text("number"), "a\"b\\c\n");
    EXPECT_EQ(e.number("n"), 7);
    EXPECT_EQ(e.flag("ok"), true);
    EXPECT_FALSE(e.number("number").has_value());
    EXPECT_FALSE(e.raw("missing").has_value());
}

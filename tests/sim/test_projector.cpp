// The simulated projector without a pty: what each family answers, at its own
// speed and at another, whole and in pieces.
#include "sim/projector.h"

#include <gtest/gtest.h>

using namespace pj::sim;
using namespace std::chrono_literals;

namespace {

Bytes hex(std::string_view text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return out;
}

Bytes str(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

struct Projector {
    explicit Projector(ProjectorConfig c)
        : core(c) {}
    Bytes send(const Bytes& bytes, std::uint32_t baud = 0, std::chrono::milliseconds when = 0ms) {
        return core.receive(bytes, t0 + when, LineSettings{true, baud ? baud : core.baud(), false},
                            events);
    }
    std::vector<std::string> kinds() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            out.push_back(e.kind());
        return out;
    }
    ProjectorCore core;
    std::vector<Event> events;
    SteadyTime t0 = std::chrono::steady_clock::now();
};

ProjectorConfig family(ProjectorFamily f) {
    ProjectorConfig c;
    c.family = f;
    return c;
}

} // namespace

TEST(EpsonProjector, PowerOnIsDoneWithTheColonPrompt) {
    Projector p(family(ProjectorFamily::Epson));
    EXPECT_EQ(p.core.baud(), 9600u);
    EXPECT_FALSE(p.core.poweredOn());
    EXPECT_EQ(p.send(str("PWR ON\r")), str(":"));
    EXPECT_TRUE(p.core.poweredOn());
    EXPECT_EQ(p.send(str("PWR?\r")), str("PWR=01\r:"));
    EXPECT_EQ(p.send(str("\r")), str(":")); // a bare CR asks for the prompt
}

TEST(EpsonProjector, InStandby_OnlyPowerCommandsAreDone) {
    Projector p(family(ProjectorFamily::Epson));
    EXPECT_EQ(p.send(str("SOURCE 41\r")), str("ERR\r:"));
    EXPECT_EQ(p.send(str("PWR?\r")), str("PWR=00\r:"));
    p.send(str("PWR ON\r"));
    EXPECT_EQ(p.send(str("SOURCE 41\r")), str(":"));
    EXPECT_EQ(p.send(str("SOURCE?\r")), str("SOURCE=41\r:"));
    EXPECT_EQ(p.send(str("MUTE ON\r")), str(":"));
    EXPECT_EQ(p.send(str("VOL INC\r")), str(":"));
    EXPECT_EQ(p.send(str("VOL?\r")), str("VOL=11\r:"));
    EXPECT_EQ(p.send(str("FROB 1\r")), str("ERR\r:"));
    EXPECT_EQ(p.core.commandsDone(), 7u); // queries included, the refused two not
}

TEST(EpsonProjector, CommandInPieces_IsAnsweredWhenTheCarriageReturnComes) {
    Projector p(family(ProjectorFamily::Epson));
    EXPECT_TRUE(p.send(str("PWR ")).empty());
    EXPECT_EQ(p.send(str("ON\rPWR?\r")), str(":PWR=01\r:"));
}

TEST(EpsonProjector, CommandWithoutCarriageReturn_IsDroppedAfterTheTimeout) {
    Projector p(family(ProjectorFamily::Epson));
    EXPECT_TRUE(p.send(str("PWR ON")).empty());
    ASSERT_TRUE(p.core.nextDeadline());
    p.core.expire(p.t0 + 600ms, p.events);
    EXPECT_EQ(p.kinds().back(), "rejected");
    EXPECT_EQ(p.send(str("\r"), 0, 700ms), str(":")); // the old half is gone
    EXPECT_FALSE(p.core.poweredOn());
}

TEST(EpsonProjector, AtAnotherSpeed_SeesNoiseAndStaysSilent) {
    Projector p(family(ProjectorFamily::Epson));
    EXPECT_TRUE(p.send(str("PWR ON\r"), 19200).empty());
    EXPECT_EQ(p.kinds(), std::vector<std::string>{"noise"});
    EXPECT_FALSE(p.core.poweredOn());
}

TEST(NecProjector, KnownCommands_GetTheirAcknowledgementWithChecksum) {
    Projector p(family(ProjectorFamily::Nec));
    EXPECT_EQ(p.core.baud(), 38400u);
    EXPECT_EQ(p.send(hex("02 00 00 00 00 02")), hex("22 00 01 20 00 43"));
    EXPECT_TRUE(p.core.poweredOn());
    EXPECT_EQ(p.send(hex("02 03 00 00 02 01 06 0e")), hex("22 03 01 20 01 00 47"));
    EXPECT_EQ(p.core.input(), 0x06);
    EXPECT_EQ(p.send(hex("03 10 00 00 05 05 00 01 01 00 1f")), hex("23 10 01 20 02 00 00 56"));
    EXPECT_EQ(p.send(hex("02 12 00 00 00 14")), hex("22 12 01 20 00 55"));
    EXPECT_EQ(p.send(hex("02 01 00 00 00 03")), hex("22 01 01 20 00 44"));
    EXPECT_FALSE(p.core.poweredOn());
}

TEST(NecProjector, UnknownCommand_GetsAnErrorFrame) {
    Projector p(family(ProjectorFamily::Nec));
    EXPECT_EQ(p.send(hex("02 99 00 00 00 9b")), hex("a2 99 01 20 02 00 00 5e"));
}

TEST(NecProjector, WrongChecksum_IsDroppedWithoutAnswer) {
    Projector p(family(ProjectorFamily::Nec));
    EXPECT_TRUE(p.send(hex("02 00 00 00 00 03")).empty());
    ASSERT_FALSE(p.events.empty());
    EXPECT_EQ(p.events[0].kind(), "command");
    EXPECT_EQ(p.events[0].flag("done"), false);
    EXPECT_EQ(p.events[0].text("reason"), "checksum");
    EXPECT_FALSE(p.core.poweredOn());
    // The next frame is read from where the dropped one ended.
    EXPECT_EQ(p.send(hex("02 00 00 00 00 02")), hex("22 00 01 20 00 43"));
}

TEST(NecProjector, FramesInPiecesAndTogether_AreEachAnswered) {
    Projector p(family(ProjectorFamily::Nec));
    EXPECT_TRUE(p.send(hex("02 03 00 00")).empty());
    EXPECT_EQ(p.send(hex("02 01 06 0e 02 00 00 00 00 02")),
              hex("22 03 01 20 01 00 47 22 00 01 20 00 43"));
}

TEST(NecProjector, AtAnotherSpeed_SeesNoise) {
    Projector p(family(ProjectorFamily::Nec));
    EXPECT_TRUE(p.send(hex("02 00 00 00 00 02"), 9600).empty());
    EXPECT_EQ(p.kinds(), std::vector<std::string>{"noise"});
}

TEST(SilentProjector, TakesEverythingAndNeverAnswers) {
    Projector p(family(ProjectorFamily::Silent));
    EXPECT_TRUE(p.send(str("PWR ON\r")).empty());
    EXPECT_TRUE(p.send(hex("02 00 00 00 00 02")).empty());
    EXPECT_TRUE(p.events.empty());
}

TEST(ProjectorFamilies, NamesAndSpeeds) {
    EXPECT_EQ(projectorFamilyFromName("nec"), ProjectorFamily::Nec);
    EXPECT_EQ(projectorFamilyFromName("sony"), std::nullopt);
    EXPECT_STREQ(projectorFamilyName(ProjectorFamily::Silent), "silent");
    ProjectorConfig c = family(ProjectorFamily::Epson);
    c.baud = 19200;
    EXPECT_EQ(ProjectorCore(c).baud(), 19200u);
}

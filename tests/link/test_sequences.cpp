// The controller sequences in virtual time over the in-memory port: the exact
// byte streams, where each frame is cut, every pause, progress, row status,
// and the refusals and failures (open failures, machine type, speeds, long codes,
// lost device).
#include "link_test_support.h"

#include "link/detection.h"
#include "link/messages.h"
#include "link/sequences.h"

#include <gtest/gtest.h>

using namespace pj::link;
using namespace pj::link::testing;
using Kind = FakePortEvent::Kind;

namespace {

const std::string kPort = "/dev/ttyUSB0";

ShellState shellFor(int edition, int machineType) {
    ShellState s;
    s.editionCode = edition;
    s.machineType = machineType;
    s.controllerBaud = *programmingBaud(edition, machineType);
    s.portName = kPort;
    return s;
}

SelectedModel modelWith(std::uint32_t baud, std::vector<CodeListEntry> rows) {
    SelectedModel m;
    m.selectedBaud = baud;
    m.selectedBaudText = std::to_string(baud);
    m.rows = std::move(rows);
    return m;
}

CodeListEntry row(std::string text, std::uint32_t key, std::uint32_t parity, bool selected = true) {
    CodeListEntry e;
    e.codeText = std::move(text);
    e.keyType = key;
    e.parity = parity;
    e.selected = selected;
    return e;
}

std::vector<FakePortEvent> ofKind(const std::vector<FakePortEvent>& events, Kind kind) {
    std::vector<FakePortEvent> out;
    for (const auto& e : events) {
        if (e.kind == kind)
            out.push_back(e);
    }
    return out;
}

} // namespace

// --- writing codes -----------------------------------------------------------

TEST(WriteCodes, networkUnitGetsHeaderFirstChunksWithEveryPause) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(21, 1);
    SelectedModel model =
        modelWith(9600, {row("a0 01 0d", 2, 1), row("ff", 5, 0, false), row("50 57 52 0d", 7, 2)});
    model.rows[0].status = RowStatus::Confirmed; // written again: back to a question mark

    const SequenceResult r = writeSelectedCodes(link.channel, shell, model, obs);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.rowsWritten, 2u);

    const auto events = link.port->events();
    const auto opens = ofKind(events, Kind::Open);
    ASSERT_EQ(opens.size(), 3u);
    // First the line it will listen on is tried (the last written row's parity).
    EXPECT_EQ(opens[0].settings.baud, 9600u);
    EXPECT_EQ(opens[0].settings.parityCode, 2);
    EXPECT_EQ(events[1].kind, Kind::Close);
    EXPECT_EQ(opens[1].settings.baud, 1200u); // programming speed of a network unit
    EXPECT_EQ(opens[1].settings.parityCode, 0);
    EXPECT_EQ(opens[2].settings.baud, 9600u); // then the projector's line
    EXPECT_EQ(opens[2].settings.parityCode, 2);

    const auto writes = ofKind(events, Kind::Write);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].bytes, (Bytes{0x3A, 0xFC, 0x03, 0x02, 0xA0}));
    ASSERT_EQ(writes[1].bytes.size(), 62u);
    EXPECT_EQ(writes[1].bytes[0], 0x01);
    EXPECT_EQ(writes[1].bytes[1], 0x0D);
    EXPECT_EQ(writes[1].bytes[60], 0x01); // parity
    EXPECT_EQ(writes[1].bytes[61], 0x01); // visualizer number
    EXPECT_EQ(writes[2].bytes, (Bytes{0x3A, 0xFC, 0x04, 0x07, 0x50}));

    // 400 ms between the chunks (+ the write's 50 ms settle), 1800 ms after a frame.
    const Millis t0 = writes[0].at;
    EXPECT_EQ(writes[1].at - t0, Millis{450});
    EXPECT_EQ(writes[2].at - t0, Millis{450 + 50 + 1800});
    EXPECT_EQ(writes[3].at - writes[2].at, Millis{450});
    EXPECT_EQ(obs.timeOf("progress 100") - writes[1].at, Millis{50 + 900});
    EXPECT_EQ(obs.timeOf("progress 0") - writes[1].at, Millis{50 + 1800});

    // Every write is settled, drained and purged before the next step.
    std::vector<Kind> afterFirstWrite;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind == Kind::Write) {
            ASSERT_LT(i + 2, events.size());
            EXPECT_EQ(events[i + 1].kind, Kind::Drain);
            EXPECT_EQ(events[i + 2].kind, Kind::PurgeOutput);
            EXPECT_EQ(events[i + 1].at - events[i].at, Millis{50});
        }
    }

    EXPECT_EQ(obs.progressValues(), (std::vector<int>{50, 100, 0, 50, 100, 0}));
    EXPECT_EQ(model.lastParity, 2u);
    EXPECT_EQ(model.rows[0].status, RowStatus::Unconfirmed);
    EXPECT_EQ(obs.texts().back(), "listening 9600 even");
    EXPECT_TRUE(link.channel.isOpen());
    EXPECT_EQ(link.channel.appliedSettings()->parity, Parity::Even);
    EXPECT_TRUE(link.messages().empty());
}

TEST(WriteCodes, colonFirstEditionsAndStandaloneUnits) {
    struct Case {
        int edition, machineType;
        std::uint32_t projectorBaud;
        std::uint32_t wantLineBaud;
        std::uint8_t wantReload;
    };
    const Case cases[] = {
        {2008, 0, 115200, 115200, 0xFF}, {31, 1, 9600, 1200, 0xFC},   {21, 0, 9600, 600, 0xFC},
        {22, 0, 1200, 600, 0xA0},        {2006, 0, 4800, 9600, 0xF8}, {2007, 0, 19200, 9600, 0xFA},
        {2009, 0, 38400, 19200, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edition);
        FakeLink link;
        RecordingObserver obs(link.clock);
        ShellState shell = shellFor(c.edition, c.machineType);
        SelectedModel model = modelWith(c.projectorBaud, {row("10 20", 1, 0)});
        ASSERT_TRUE(writeSelectedCodes(link.channel, shell, model, obs).ok());
        const auto events = link.port->events();
        EXPECT_EQ(ofKind(events, Kind::Open).at(1).settings.baud, c.wantLineBaud);
        const auto writes = ofKind(events, Kind::Write);
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].bytes, Bytes{0x3A});
        ASSERT_EQ(writes[1].bytes.size(), 66u);
        EXPECT_EQ(writes[1].bytes[0], c.wantReload);
        EXPECT_EQ(writes[1].at - writes[0].at, Millis{450});
    }
}

TEST(WriteCodes, noRowSelectedStillReopensListeningWithTheLastParity) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2007, 0);
    SelectedModel model = modelWith(19200, {row("01", 0, 1, false)});
    model.lastParity = 2;
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.rowsWritten, 0u);
    const auto events = link.port->events();
    EXPECT_TRUE(ofKind(events, Kind::Write).empty());
    const auto opens = ofKind(events, Kind::Open);
    ASSERT_EQ(opens.size(), 3u); // the listening line tried, programming, listening
    EXPECT_EQ(opens[0].settings.baud, 19200u);
    EXPECT_EQ(opens[1].settings.baud, 9600u);
    EXPECT_EQ(opens[2].settings.baud, 19200u);
    EXPECT_EQ(opens[2].settings.parityCode, 2);
    EXPECT_EQ(ofKind(events, Kind::Close).size(), 2u);
    EXPECT_TRUE(obs.progressValues().empty());
}

TEST(WriteCodes, visualizerNumberOfTheShellGoesIntoEveryFrame) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(31, 0);
    shell.visualizerNumber = 2;
    SelectedModel model = modelWith(9600, {row("", 0, 0), row("01", 17, 1)});
    ASSERT_TRUE(writeSelectedCodes(link.channel, shell, model, obs).ok());
    const Bytes stream = link.port->writtenBytes();
    ASSERT_EQ(stream.size(), 2 * kCodeFrameSize);
    EXPECT_EQ(stream[2], 0);  // an empty code still makes a full frame
    EXPECT_EQ(stream[66], 2); // visualizer of frame 1
    EXPECT_EQ(stream[67 + 3], 17);
    EXPECT_EQ(stream[67 + 65], 1);
    EXPECT_EQ(stream[67 + 66], 2);
}

TEST(WriteCodesFailures, settingsThatCannotWorkAreRefusedBeforeThePortOpens) {
    struct Case {
        int edition, machineType;
        std::uint32_t baud;
        std::string want;
    };
    const Case cases[] = {
        {21, -1, 9600, "请选择机器类型"},
        {22, 2, 9600, "请选择机器类型"},
        {2006, -1, 9600, "请选择机器类型"},
        {22, 0, 600, "该中控版本不支持波特率 600"},
        {2007, 0, 14400, "该中控版本不支持波特率 14400"},
        {2008, 0, 300, "该中控版本不支持波特率 300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        FakeLink link;
        RecordingObserver obs(link.clock);
        ShellState shell =
            shellFor(c.edition, c.machineType == -1 || c.machineType == 2 ? 0 : c.machineType);
        shell.machineType = c.machineType;
        SelectedModel model = modelWith(c.baud, {row("01", 0, 0)});
        const auto r = writeSelectedCodes(link.channel, shell, model, obs);
        EXPECT_EQ(r.outcome, SequenceOutcome::Refused);
        EXPECT_EQ(r.message, c.want);
        EXPECT_EQ(obs.texts(), std::vector<std::string>{"message " + c.want});
        EXPECT_TRUE(link.port->events().empty());
        EXPECT_EQ(link.clock.now(), Millis{0});
    }
}

TEST(WriteCodesFailures, approximateGroupASpeedAsksFirst) {
    for (bool goOn : {false, true}) {
        FakeLink link;
        RecordingObserver obs(link.clock);
        obs.answerApproximate = goOn;
        ShellState shell = shellFor(2009, 0);
        SelectedModel model = modelWith(57600, {row("01", 0, 0)});
        const auto r = writeSelectedCodes(link.channel, shell, model, obs);
        ASSERT_FALSE(obs.texts().empty());
        EXPECT_EQ(obs.texts()[0],
                  "question 57600 " + msg::formatMessage(msg::kBaudApproximate, "57600"));
        if (!goOn) {
            EXPECT_EQ(r.outcome, SequenceOutcome::Cancelled);
            EXPECT_TRUE(link.port->events().empty());
        } else {
            EXPECT_TRUE(r.ok());
            EXPECT_EQ(link.port->writtenBytes()[1], 0xFF); // as the table says
        }
    }
}

TEST(WriteCodesFailures, tooLongCodeIsRefusedForItsRowAndNeverCut) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2007, 0);
    std::string longText;
    for (int i = 0; i < 62; ++i)
        longText += "ab ";
    std::string sixtyOne;
    for (int i = 0; i < 61; ++i)
        sixtyOne += "cd";
    SelectedModel model = modelWith(9600, {row(longText, 0, 0), row(sixtyOne, 1, 2)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.rowsRefused, 1u);
    EXPECT_EQ(r.rowsWritten, 1u);
    EXPECT_EQ(obs.texts()[0], "row 0 refused 功能码过长（最多61字节）");
    const Bytes stream = link.port->writtenBytes();
    ASSERT_EQ(stream.size(), kCodeFrameSize); // only row 1's frame
    EXPECT_EQ(stream[2], 61);
    EXPECT_EQ(stream[64], 0xCD);
    EXPECT_EQ(stream[65], 2);
    EXPECT_EQ(std::count(stream.begin(), stream.end(), 0xAB), 0);
    EXPECT_EQ(model.rows[0].status, RowStatus::Unconfirmed);
}

TEST(WriteCodesFailures, portThatDoesNotOpenStopsBeforeAnythingIsWritten) {
    struct Case {
        PortOpenStatus status;
        SequenceOutcome outcome;
        std::string text;
    };
    const std::string cannotListen =
        "串口 /dev/ttyUSB0 无法以投影机的波特率 9600 接收回码，未写入任何数据";
    const Case cases[] = {
        {PortOpenStatus::Unavailable, SequenceOutcome::PortFailed, "无法打开串口 /dev/ttyUSB0"},
        {PortOpenStatus::Busy, SequenceOutcome::PortFailed,
         "串口 /dev/ttyUSB0 正被其他程序占用，请先关闭占用它的程序"},
        {PortOpenStatus::SettingsRefused, SequenceOutcome::LineRefused, cannotListen},
        {PortOpenStatus::SettingsUnreadable, SequenceOutcome::LineRefused, cannotListen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FakeLink link;
        RecordingObserver obs(link.clock);
        link.port->setOpenStatus(kPort, c.status);
        ShellState shell = shellFor(21, 0);
        SelectedModel model = modelWith(9600, {row("01", 0, 0), row("02", 1, 1)});
        const auto r = writeSelectedCodes(link.channel, shell, model, obs);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.message, c.text);
        EXPECT_EQ(obs.texts(), std::vector<std::string>{"message " + c.text});
        EXPECT_TRUE(link.port->writes().empty());
        EXPECT_EQ(link.clock.now(), Millis{0}); // no pauses run for nothing
        EXPECT_EQ(model.lastParity, 0u);
        EXPECT_TRUE(link.messages().empty()); // the port was only tried
    }

    // The listening line is fine but the programming speed is refused.
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->refuseSpeed(600);
    ShellState shell = shellFor(21, 0);
    SelectedModel model = modelWith(9600, {row("01", 0, 0)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::PortFailed);
    EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 不接受所需的线路设置");
    EXPECT_EQ(link.messages(), std::vector<std::string>{"设置失败"});
    EXPECT_TRUE(link.port->writes().empty());
}

TEST(WriteCodesFailures, stalledWriteIsReportedAndTheSequenceGoesOn) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->scriptWrite(0, IoStatus::TimedOut);
    ShellState shell = shellFor(2007, 0);
    SelectedModel model = modelWith(9600, {row("01", 0, 0)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(link.messages(),
              std::vector<std::string>{"写串口时间过长，目前串口发送缓冲区中的数据数目为空"});
    const auto writes = link.port->writes();
    ASSERT_EQ(writes.size(), 1u); // the stalled chunk never left
    EXPECT_EQ(writes[0].at, Millis{1000 + 50 + 400});
}

TEST(WriteCodesFailures, deviceLostMidFrameFailsNamingThePortAndTheChannelOpensAgain) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->scriptWrite(1, IoStatus::DeviceLost);
    ShellState shell = shellFor(21, 1);
    SelectedModel model = modelWith(9600, {row("01", 0, 0), row("02", 1, 1)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::WriteFailed);
    EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 已断开");
    EXPECT_EQ(link.messages(), std::vector<std::string>{"串口 /dev/ttyUSB0 已断开"});
    EXPECT_EQ(r.rowsWritten, 0u);
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_EQ(obs.progressValues(), (std::vector<int>{50, 0}));
    EXPECT_EQ(link.port->writes().size(), 1u);

    link.port->replug();
    EXPECT_EQ(link.channel.open(kPort, {9600, 8, 0, 1}), OpenResult::Opened);
    EXPECT_TRUE(link.channel.write(Bytes{1}).ok());
}

// --- room parameters and ID card ------------------------------------------

TEST(RoomParameters, markPauseBlockAndReopenWithoutParity) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(21, 1); // programmed at 1200
    RoomParameters p;                   // the panel untouched
    const auto r = writeRoomParameters(link.channel, shell, p, 19200, obs);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(shell.visualizerNumber, 2);
    const auto events = link.port->events();
    const auto writes = ofKind(events, Kind::Write);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].bytes, Bytes{0x5A});
    EXPECT_EQ(writes[1].bytes, (Bytes{1, 0, 1, 1, 5, 0, 0, 0}));
    EXPECT_EQ(writes[0].settings.baud, 1200u);
    EXPECT_EQ(writes[1].at - writes[0].at, Millis{50 + 500});
    EXPECT_EQ(obs.progressValues(), (std::vector<int>{30, 60, 100, 0}));
    EXPECT_EQ(obs.timeOf("progress 60") - obs.timeOf("progress 30"), Millis{500});
    EXPECT_EQ(obs.timeOf("progress 100") - writes[1].at, Millis{50 + 100});
    const auto opens = ofKind(events, Kind::Open);
    ASSERT_EQ(opens.size(), 3u); // the listening line tried first
    EXPECT_EQ(opens[0].settings.baud, 19200u);
    EXPECT_EQ(opens[0].settings.parityCode, 0);
    EXPECT_EQ(opens[2].settings.baud, 19200u);
    EXPECT_EQ(opens[2].settings.parityCode, 0); // never the last code's parity
    EXPECT_EQ(opens[2].at - obs.timeOf("progress 100"), Millis{20 + 20}); // settle, close
    EXPECT_TRUE(link.channel.isOpen());
}

TEST(RoomParameters, failuresStopBeforeOrAtTheFailedWrite) {
    {
        FakeLink link;
        RecordingObserver obs(link.clock);
        link.port->setDefaultOpenStatus(PortOpenStatus::Unavailable);
        ShellState shell = shellFor(2007, 0);
        shell.visualizerNumber = 1;
        const auto r = writeRoomParameters(link.channel, shell, RoomParameters{}, 9600, obs);
        EXPECT_EQ(r.outcome, SequenceOutcome::PortFailed);
        EXPECT_EQ(shell.visualizerNumber, 1);
        EXPECT_EQ(link.clock.now(), Millis{0});
    }
    {
        FakeLink link;
        RecordingObserver obs(link.clock);
        link.port->scriptWrite(1, IoStatus::DeviceLost);
        ShellState shell = shellFor(2007, 0);
        const auto r = writeRoomParameters(link.channel, shell, RoomParameters{}, 9600, obs);
        EXPECT_EQ(r.outcome, SequenceOutcome::WriteFailed);
        EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 已断开");
        EXPECT_FALSE(r.listening);
        EXPECT_FALSE(link.channel.isOpen());
    }
    {
        FakeLink link; // a speed of 0 cannot open the line
        RecordingObserver obs(link.clock);
        ShellState shell = shellFor(2007, 0);
        shell.controllerBaud = 0;
        const auto r = writeRoomParameters(link.channel, shell, RoomParameters{}, 9600, obs);
        EXPECT_EQ(r.outcome, SequenceOutcome::PortFailed);
        EXPECT_EQ(link.messages(), std::vector<std::string>{"波特率无效"});
        EXPECT_TRUE(link.port->writes().empty());
    }
}

TEST(IdCard, frameInGbkPausesAndTheChannelStaysClosed) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2009, 0);
    const auto r = writeIdCard(link.channel, shell, "12345678", obs);
    ASSERT_TRUE(r.ok());
    const auto events = link.port->events();
    const auto writes = ofKind(events, Kind::Write);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes,
              (Bytes{0xCF, 0xBB, '1', '2', '3', '4', '5', '6', '7', '8', 0x02, 0x55}));
    EXPECT_EQ(writes[0].settings.baud, 19200u);
    EXPECT_EQ(obs.progressValues(), (std::vector<int>{100, 0}));
    EXPECT_EQ(obs.timeOf("progress 100") - writes[0].at, Millis{50 + 100});
    EXPECT_EQ(events.back().kind, Kind::Close);
    EXPECT_EQ(ofKind(events, Kind::Open).size(), 1u);
    EXPECT_FALSE(link.channel.isOpen());

    link.port->clearEvents();
    ASSERT_TRUE(writeIdCard(link.channel, shell, "卡01", obs).ok());
    EXPECT_EQ(link.port->writtenBytes(), (Bytes{0xCF, 0xBB, 0xBF, 0xA8, '0', '1', 0x02, 0x55}));
}

TEST(IdCard, emptyNumberOpensAndClosesWithoutSending) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2009, 0);
    ASSERT_TRUE(writeIdCard(link.channel, shell, "", obs).ok());
    const auto events = link.port->events();
    EXPECT_TRUE(ofKind(events, Kind::Write).empty());
    EXPECT_EQ(ofKind(events, Kind::Open).size(), 1u);
    EXPECT_EQ(ofKind(events, Kind::Close).size(), 1u);
    EXPECT_EQ(link.clock.now(), Millis{100 + 20 + 20});
}

TEST(IdCard, numbersThatDoNotFitOrCannotBeSentAreRefusedUntouched) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2009, 0);
    auto r = writeIdCard(link.channel, shell, std::string(253, '7'), obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::Refused);
    EXPECT_EQ(r.message, "ID卡号过长（最多252字节）");
    r = writeIdCard(link.channel, shell, "\xF0\x9F\x98\x80", obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::Refused);
    EXPECT_EQ(r.message, "ID卡号含有无法发送的字符");
    // 02 55 inside the number would end the card at the controller.
    for (const std::string& control : {std::string("A\x02U1"), std::string("12\n34"),
                                       std::string{'\x7F', '1'}, std::string("1\0", 2)}) {
        r = writeIdCard(link.channel, shell, control, obs);
        EXPECT_EQ(r.outcome, SequenceOutcome::Refused) << control;
        EXPECT_EQ(r.message, "ID卡号含有无法发送的字符");
    }
    EXPECT_TRUE(link.port->events().empty());
    ASSERT_TRUE(writeIdCard(link.channel, shell, std::string(252, '7'), obs).ok());
    EXPECT_EQ(link.port->writtenBytes().size(), 256u);
}

// --- detection -------------------------------------------------------------

namespace {
// A controller that answers probes at `baud` with AA <byte>, for the probes
// whose index within each three is in `which`.
FakeSerialPort::Responder controller(std::uint32_t baud, std::uint8_t byte,
                                     std::vector<int> which = {0, 1, 2}) {
    auto count = std::make_shared<int>(0);
    return [=](const FakePortEvent& w) -> std::optional<Bytes> {
        if (w.bytes != Bytes{kProbeByte} || w.settings.baud != baud)
            return std::nullopt;
        const int k = (*count)++ % 3;
        if (std::find(which.begin(), which.end(), k) == which.end())
            return std::nullopt;
        return Bytes{0xAA, byte};
    };
}
} // namespace

TEST(Detection, silentPortGetsTwelveProbesAtFourSpeedsAndAbsentPortsCostNothing) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->setOpenStatus("/dev/ttyS0", PortOpenStatus::Unavailable);
    link.port->setOpenStatus("/dev/ttyS2", PortOpenStatus::Unavailable);
    const std::vector<std::string> ports{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    const auto r = detectionScan(link.channel, ports, obs);
    EXPECT_FALSE(r.found);
    EXPECT_FALSE(r.stopped);
    const auto writes = link.port->writes();
    ASSERT_EQ(writes.size(), 12u);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].bytes, Bytes{0xAA});
        EXPECT_EQ(writes[i].port, "/dev/ttyS1");
        EXPECT_EQ(writes[i].settings.baud, kDetectionSpeeds[i / 3]);
        EXPECT_EQ(writes[i].settings.parityCode, 0);
        if (i % 3) {
            EXPECT_EQ(writes[i].at - writes[i - 1].at, Millis{50 + 200});
        }
    }
    // Each change of speed closes (20 ms) and opens the port again.
    EXPECT_EQ(writes[3].at - writes[2].at, Millis{50 + 200 + 20});
    EXPECT_EQ(link.clock.now(), Millis{12 * 250 + 4 * 20});
    const auto progress = obs.progressValues();
    ASSERT_EQ(progress.size(), 13u);
    for (std::size_t i = 1; i + 1 < progress.size(); ++i)
        EXPECT_GT(progress[i], progress[i - 1]);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_FALSE(link.channel.isOpen());
}

TEST(Detection, noPortsAtAllEndsAtOnceWithFullProgress) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->setDefaultOpenStatus(PortOpenStatus::Unavailable);
    const std::vector<std::string> ports{"/dev/ttyUSB0", "/dev/ttyUSB1"};
    EXPECT_FALSE(detectionScan(link.channel, ports, obs).found);
    EXPECT_EQ(obs.progressValues(), std::vector<int>{100});
    EXPECT_EQ(link.clock.now(), Millis{0});
    EXPECT_FALSE(detectionScan(link.channel, {}, obs).found);
}

TEST(Detection, answerToASingleProbeIsFoundInTheBlockThatCarriedIt) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->setOpenStatus("/dev/ttyUSB0", PortOpenStatus::Unavailable);
    link.port->setResponder(controller(1200, 0x11, {0})); // answers only the first of three
    const std::vector<std::string> ports{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"};
    const auto r = detectionScan(link.channel, ports, obs);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.portName, "/dev/ttyUSB1");
    EXPECT_EQ(r.edition.editionCode, 21);
    EXPECT_EQ(r.edition.controllerBaud, 1200);
    const auto writes = link.port->writes();
    ASSERT_EQ(writes.size(), 4u); // three at 600, the first at 1200 found it
    EXPECT_EQ(writes.back().settings.baud, 1200u);
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_NE(obs.progressValues().back(), 100);

    ShellState shell;
    shell.machineType = 1;
    applyDetection(shell, r);
    EXPECT_EQ(shell.portName, "/dev/ttyUSB1");
    EXPECT_EQ(shell.editionCode, 21);
    EXPECT_EQ(shell.controllerBaud, 1200);
    EXPECT_EQ(shell.machineType, 1);
}

TEST(Detection, everyEditionIsFoundAtItsSpeed) {
    const std::pair<std::uint32_t, std::uint8_t> controllers[] = {
        {600, 0x01},  {600, 0x02},  {1200, 0x12},  {1200, 0x31},
        {9600, 0x06}, {9600, 0x07}, {115200, 0x08}};
    for (const auto& [baud, byte] : controllers) {
        SCOPED_TRACE(int{byte});
        FakeLink link;
        RecordingObserver obs(link.clock);
        link.port->setResponder(controller(baud, byte));
        const std::vector<std::string> ports{"/dev/ttyACM0"};
        const auto r = detectionScan(link.channel, ports, obs);
        ASSERT_TRUE(r.found);
        EXPECT_EQ(r.edition.editionCode, editionForAnswerByte(byte)->editionCode);
        EXPECT_EQ(link.port->writes().back().settings.baud, baud);
    }
}

TEST(Detection, unknownEditionBytesAndNoiseAreIgnored) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->setResponder([](const FakePortEvent&) { return Bytes{0xAA, 0x05, 0x55, 0xAA}; });
    const std::vector<std::string> ports{"/dev/ttyACM0"};
    EXPECT_FALSE(detectionScan(link.channel, ports, obs).found);
    EXPECT_EQ(link.port->writes().size(), 12u);
}

TEST(Detection, stopRequestIsHonouredAtTheNextStep) {
    FakeLink link;
    std::stop_source stop;
    struct StopAfter : RecordingObserver {
        using RecordingObserver::RecordingObserver;
        std::stop_source* source = nullptr;
        int seen = 0;
        void progress(int percent) override {
            RecordingObserver::progress(percent);
            if (++seen == 5)
                source->request_stop();
        }
    } obs(link.clock);
    obs.source = &stop;
    const std::vector<std::string> ports{"/dev/ttyUSB0", "/dev/ttyUSB1"};
    const auto r = detectionScan(link.channel, ports, obs, stop.get_token());
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(link.port->writes().size(), 5u); // the probe announced went out, no other
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_NE(obs.progressValues().back(), 100);

    std::stop_source already;
    already.request_stop();
    link.port->clearEvents();
    EXPECT_TRUE(detectionScan(link.channel, ports, obs, already.get_token()).stopped);
    EXPECT_TRUE(link.port->events().empty());
}

TEST(Detection, portLostDuringTheScanEndsItsTurnWithoutHanging) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->scriptWrite(4, IoStatus::DeviceLost);
    link.port->setResponder([](const FakePortEvent& w) -> std::optional<Bytes> {
        if (w.port == "/dev/ttyUSB1" && w.settings.baud == 9600)
            return Bytes{0xAA, 0x07};
        return std::nullopt;
    });
    const std::vector<std::string> ports{"/dev/ttyUSB0", "/dev/ttyUSB1"};
    // The fake has one device: while it is away the other port does not open either.
    auto r = detectionScan(link.channel, ports, obs);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(link.port->writes().size(), 4u);
    EXPECT_EQ(link.messages(), std::vector<std::string>{"串口 /dev/ttyUSB0 已断开"});
    EXPECT_EQ(obs.progressValues().back(), 100);
    EXPECT_FALSE(link.channel.isOpen());

    link.port->replug();
    r = detectionScan(link.channel, ports, obs);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.portName, "/dev/ttyUSB1");
    EXPECT_EQ(r.edition.editionCode, 2007);
}

// What keeps a controller operation from doing harm, over the in-memory port in
// virtual time: rows no frame can carry, the listening line tried before
// anything is written, a device lost after the last frame, a port without a
// name, the stop request at the pauses, and what detection says of the ports
// it could not use.
#include "link_test_support.h"

#include "link/detection.h"
#include "link/messages.h"
#include "link/sequences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

using namespace pj::link;
using namespace pj::link::testing;
using Kind = FakePortEvent::Kind;

namespace {

const std::string kPort = "/dev/ttyUSB0";

ShellState shellFor(int edition, int machineType = 0) {
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

CodeListEntry row(std::string text, std::uint32_t key, std::uint32_t parity) {
    CodeListEntry e;
    e.codeText = std::move(text);
    e.keyType = key;
    e.parity = parity;
    e.selected = true;
    return e;
}

std::vector<FakePortEvent> opensOf(const FakeSerialPort& port) {
    std::vector<FakePortEvent> out;
    for (const auto& e : port.events()) {
        if (e.kind == Kind::Open)
            out.push_back(e);
    }
    return out;
}

// Waits in real time until the channel's reader has noticed the lost device.
bool waitForLoss(const SerialChannel& channel) {
    for (int i = 0; i < 1000 && !channel.deviceLost(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return channel.deviceLost();
}

// An observer that runs `hook` when it sees the report `when` ("row 0 written",
// "progress 100").
struct HookObserver : RecordingObserver {
    HookObserver(Clock& clock, std::string when, std::function<void()> hook)
        : RecordingObserver(clock)
        , when_(std::move(when))
        , hook_(std::move(hook)) {}
    void rowWritten(std::size_t row) override {
        RecordingObserver::rowWritten(row);
        fire("row " + std::to_string(row) + " written");
    }
    void progress(int percent) override {
        RecordingObserver::progress(percent);
        fire("progress " + std::to_string(percent));
    }

private:
    void fire(const std::string& what) {
        if (what == when_ && hook_) {
            auto hook = std::move(hook_);
            hook_ = nullptr;
            hook();
        }
    }
    std::string when_;
    std::function<void()> hook_;
};

} // namespace

// --- rows no frame can carry ----------------------------------------------

TEST(RowGuards, slotOver17AndParityOver2AreRefusedAndNeverSentAsAnotherKey) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2007);
    SelectedModel model =
        modelWith(9600, {row("a0", 256, 0), row("b1", 3, 5), row("c2", 2, 1), row("d3", 18, 0)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.rowsRefused, 3u);
    EXPECT_EQ(r.rowsWritten, 1u);
    const auto texts = obs.texts();
    auto said = [&texts](const std::string& t) {
        return std::find(texts.begin(), texts.end(), t) != texts.end();
    };
    EXPECT_TRUE(said("row 0 refused 键位 256 无效（应为 0 到 17）"));
    EXPECT_TRUE(said("row 1 refused 校验 5 无效（应为 0 无校验、1 奇校验或 2 偶校验）"));
    EXPECT_TRUE(said("row 3 refused 键位 18 无效（应为 0 到 17）"));
    const Bytes stream = link.port->writtenBytes();
    ASSERT_EQ(stream.size(), kCodeFrameSize); // row 2 alone
    EXPECT_EQ(stream[3], 2);
    EXPECT_EQ(stream[4], 0xC2);
    EXPECT_EQ(stream[65], 1);
    EXPECT_EQ(model.lastParity, 1u);
}

TEST(RowGuards, listeningParityIsThatOfTheLastRowThatGoesOut) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2007);
    SelectedModel model = modelWith(19200, {row("01", 1, 2), row("02", 300, 1)});
    ASSERT_TRUE(writeSelectedCodes(link.channel, shell, model, obs).ok());
    const auto opens = opensOf(*link.port);
    ASSERT_EQ(opens.size(), 3u);
    EXPECT_EQ(opens[0].settings.parityCode, 2); // tried before writing
    EXPECT_EQ(opens[2].settings.parityCode, 2); // and listened with
}

// --- the listening line, tried first ------------------------------------------

TEST(ListeningLine, aSpeedThePortCannotTakeRefusesTheWriteBeforeAnyFrame) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->refuseSpeed(14400);
    ShellState shell = shellFor(2009); // group A: 14400 goes out as 0xFF after a question
    SelectedModel model = modelWith(14400, {row("01", 0, 0), row("02", 1, 0)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::LineRefused);
    EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 无法以投影机的波特率 14400 接收回码，未写入任何数据");
    EXPECT_EQ(obs.texts().back(), "message " + r.message);
    EXPECT_TRUE(link.port->writes().empty());
    EXPECT_TRUE(opensOf(*link.port).empty());
    EXPECT_EQ(link.clock.now(), Millis{0});
    EXPECT_FALSE(r.listening);
    EXPECT_EQ(r.rowsWritten, 0u);
}

TEST(ListeningLine, speedZeroIsRefusedWithoutTouchingThePort) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2009);
    SelectedModel model = modelWith(0, {row("01", 0, 0)});
    auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::LineRefused);
    EXPECT_EQ(r.message, "投影机波特率无效（0），未写入任何数据");
    r = writeRoomParameters(link.channel, shell, RoomParameters{}, 0, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::LineRefused);
    EXPECT_EQ(r.message, "投影机波特率无效（0），未写入任何数据");
    EXPECT_EQ(shell.visualizerNumber, 1); // the room block was not built either
    EXPECT_TRUE(link.port->events().empty());
    for (const auto& text : obs.texts())
        EXPECT_EQ(text.rfind("question", 0), std::string::npos) << text;
}

TEST(ListeningLine, roomParametersAreNotSentWhenThePortCannotListenAfterwards) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->refuseSpeed(14400);
    ShellState shell = shellFor(2007);
    const auto r = writeRoomParameters(link.channel, shell, RoomParameters{}, 14400, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::LineRefused);
    EXPECT_TRUE(link.port->writes().empty());
    EXPECT_TRUE(obs.progressValues().empty());
}

TEST(ListeningLine, aPortWithoutANameIsSaidToBeUnset) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    ShellState shell = shellFor(2007);
    shell.portName.clear();
    SelectedModel model = modelWith(9600, {row("01", 0, 0)});
    const std::string unset = "没有设置串口，请先选择串口";
    EXPECT_EQ(writeSelectedCodes(link.channel, shell, model, obs).message, unset);
    EXPECT_EQ(writeRoomParameters(link.channel, shell, RoomParameters{}, 9600, obs).message, unset);
    const auto card = writeIdCard(link.channel, shell, "12", obs);
    EXPECT_EQ(card.outcome, SequenceOutcome::PortFailed);
    EXPECT_EQ(card.message, unset);
    EXPECT_TRUE(link.port->events().empty());
    EXPECT_EQ(openFailureText("", PortOpenStatus::Unavailable), unset);
}

// --- a device lost after the last frame --------------------------------------

TEST(LostAfterLastFrame, codeWriteFailsWhenTheReaderSawTheDeviceGo) {
    FakeLink link;
    HookObserver obs(link.clock, "row 0 written", [&] {
        link.port->unplug();
        ASSERT_TRUE(waitForLoss(link.channel));
    });
    ShellState shell = shellFor(2007);
    SelectedModel model = modelWith(9600, {row("01", 0, 0)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::ListenFailed);
    EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 已断开");
    EXPECT_EQ(r.rowsWritten, 1u);
    EXPECT_FALSE(r.listening);
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_EQ(link.messages(), std::vector<std::string>{"串口 /dev/ttyUSB0 已断开"}); // once
}

TEST(LostAfterLastFrame, codeWriteFailsWhenTheDeviceCannotBeOpenedToListen) {
    FakeLink link;
    HookObserver obs(link.clock, "row 0 written",
                     [&] { link.port->setOpenStatus(kPort, PortOpenStatus::Unavailable); });
    ShellState shell = shellFor(2007);
    SelectedModel model = modelWith(9600, {row("01", 0, 0)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs);
    EXPECT_EQ(r.outcome, SequenceOutcome::ListenFailed);
    EXPECT_EQ(r.message, "无法打开串口 /dev/ttyUSB0");
    EXPECT_EQ(obs.texts().back(), "message 无法打开串口 /dev/ttyUSB0");
    EXPECT_FALSE(r.listening);
}

TEST(LostAfterLastFrame, roomAndCardFailToo) {
    {
        FakeLink link;
        HookObserver obs(link.clock, "progress 100", [&] {
            link.port->unplug();
            ASSERT_TRUE(waitForLoss(link.channel));
        });
        ShellState shell = shellFor(2007);
        const auto r = writeRoomParameters(link.channel, shell, RoomParameters{}, 9600, obs);
        EXPECT_EQ(r.outcome, SequenceOutcome::ListenFailed);
        EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 已断开");
        EXPECT_EQ(link.port->writes().size(), 2u); // the mark and the block went out
    }
    {
        FakeLink link;
        HookObserver obs(link.clock, "progress 100", [&] {
            link.port->unplug();
            ASSERT_TRUE(waitForLoss(link.channel));
        });
        ShellState shell = shellFor(2007);
        const auto r = writeIdCard(link.channel, shell, "12345678", obs);
        EXPECT_EQ(r.outcome, SequenceOutcome::WriteFailed);
        EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 已断开");
        EXPECT_FALSE(link.channel.isOpen());
    }
}

// --- stopping at the next pause -----------------------------------------------

TEST(StopRequest, codeWriteStopsAtThePauseAfterAFrameAndSaysHowManyWentOut) {
    FakeLink link;
    std::stop_source stop;
    HookObserver obs(link.clock, "row 0 written", [&] { stop.request_stop(); });
    ShellState shell = shellFor(2007);
    SelectedModel model = modelWith(9600, {row("01", 0, 0), row("02", 1, 0), row("03", 2, 0)});
    const auto r = writeSelectedCodes(link.channel, shell, model, obs, stop.get_token());
    EXPECT_EQ(r.outcome, SequenceOutcome::Stopped);
    EXPECT_EQ(r.rowsWritten, 1u);
    EXPECT_EQ(r.message, "写码已停止：已写入 1 个功能码（共 3 个）");
    const auto writes = link.port->writes();
    ASSERT_EQ(writes.size(), 2u); // one whole frame
    EXPECT_EQ(writes[1].bytes.size(), 66u);
    // No 900 ms pause ran: the settle after the last chunk, then the close.
    EXPECT_EQ(link.clock.now() - writes[1].at, Millis{50 + 20});
    EXPECT_EQ(obs.progressValues(), (std::vector<int>{50, 0}));
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_FALSE(r.listening);
}

TEST(StopRequest, aFrameBegunIsFinishedBeforeTheWriteStops) {
    // A clock that asks for the stop while the frame's chunk pause runs.
    struct StopInChunkPause final : Clock {
        VirtualClock inner;
        std::stop_source* stop = nullptr;
        Millis now() override { return inner.now(); }
        void sleep(Millis d) override {
            inner.sleep(d);
            if (d == kChunkPause)
                stop->request_stop();
        }
    } clock;
    std::stop_source stop;
    clock.stop = &stop;
    auto port = std::make_unique<FakeSerialPort>(clock);
    FakeSerialPort& fake = *port;
    SerialChannel channel(std::move(port), clock);
    RecordingObserver obs(clock);
    ShellState shell = shellFor(21, 1); // header-first: 5 bytes, 400 ms, 62 bytes
    SelectedModel model = modelWith(9600, {row("a0 01 0d", 0, 0), row("02", 1, 0)});
    const auto r = writeSelectedCodes(channel, shell, model, obs, stop.get_token());
    EXPECT_EQ(r.outcome, SequenceOutcome::Stopped);
    EXPECT_EQ(r.rowsWritten, 1u);
    const auto writes = fake.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].bytes.size(), 5u);
    EXPECT_EQ(writes[1].bytes.size(), 62u);
}

TEST(StopRequest, roomBlockGoesOutWholeAndTheChannelIsLeftClosed) {
    FakeLink link;
    std::stop_source stop;
    HookObserver obs(link.clock, "progress 60", [&] { stop.request_stop(); });
    ShellState shell = shellFor(2007);
    const auto r =
        writeRoomParameters(link.channel, shell, RoomParameters{}, 9600, obs, stop.get_token());
    EXPECT_EQ(r.outcome, SequenceOutcome::Stopped);
    EXPECT_EQ(link.port->writes().size(), 2u);
    EXPECT_EQ(opensOf(*link.port).size(), 2u); // tried and programmed; no listening
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_TRUE(r.message.empty());
}

TEST(StopRequest, systemClockPauseEndsWhenTheStopComes) {
    SystemClock clock;
    std::stop_source stop;
    EXPECT_TRUE(clock.pause(Millis{5}, stop.get_token()));
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(clock.pause(Millis{20000}, stop.get_token()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    stopper.join();
    EXPECT_FALSE(clock.pause(Millis{20000}, stop.get_token())); // already requested
}

// --- detection: ports it could not use ----------------------------------------

TEST(DetectionPorts, aProbeThatTimesOutIsNoLostPort) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->scriptWrite(0, IoStatus::TimedOut); // a slow adapter's first probe
    link.port->setResponder([](const FakePortEvent& w) -> std::optional<Bytes> {
        if (w.settings.baud == 600 && w.bytes == Bytes{kProbeByte})
            return Bytes{0xAA, 0x01};
        return std::nullopt;
    });
    const std::vector<std::string> ports{"/dev/ttyUSB0"};
    const auto r = detectionScan(link.channel, ports, obs);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.portName, "/dev/ttyUSB0");
    EXPECT_EQ(r.edition.editionCode, 21);
    EXPECT_TRUE(r.unusable.empty());
}

TEST(DetectionPorts, portsThatCannotBeUsedAreListedWithWhy) {
    FakeLink link;
    RecordingObserver obs(link.clock);
    link.port->setOpenStatus("/dev/ttyS0", PortOpenStatus::Busy);
    link.port->setOpenStatus("/dev/ttyS1", PortOpenStatus::PermissionDenied);
    link.port->setOpenStatus("/dev/ttyS2", PortOpenStatus::Unavailable);
    link.port->setOpenStatus("/dev/ttyS3", PortOpenStatus::SettingsRefused);
    const std::vector<std::string> ports{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3",
                                         "/dev/ttyS4"};
    const auto r = detectionScan(link.channel, ports, obs);
    EXPECT_FALSE(r.found);
    ASSERT_EQ(r.unusable.size(), 4u); // ttyS4 opened and stayed silent
    EXPECT_EQ(r.unusable[0].port, "/dev/ttyS0");
    EXPECT_EQ(r.unusable[0].status, PortOpenStatus::Busy);
    EXPECT_EQ(r.unusable[0].message, "串口 /dev/ttyS0 正被其他程序占用，请先关闭占用它的程序");
    EXPECT_EQ(r.unusable[1].status, PortOpenStatus::PermissionDenied);
    EXPECT_EQ(r.unusable[1].message.rfind("没有权限打开串口 /dev/ttyS1", 0), 0u);
    EXPECT_EQ(r.unusable[2].message, "无法打开串口 /dev/ttyS2");
    EXPECT_EQ(r.unusable[3].message, "串口 /dev/ttyS3 不接受所需的线路设置");
    EXPECT_EQ(link.port->writes().size(), 12u);
}

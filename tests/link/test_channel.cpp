// The serial channel over the in-memory port: open results and messages,
// the write's settle/drain/purge, the reader's blocks (copies, at most 200
// bytes), closing while the reader waits, and a device that goes away.
#include "link_test_support.h"

#include "link/messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>

using namespace pj::link;
using namespace pj::link::testing;
using Kind = FakePortEvent::Kind;

namespace {

const std::string kPort = "/dev/ttyUSB0";
const LineSettings k9600{9600, 8, 0, 1};

// Collects delivered blocks; waits (in real time) for a number of them.
struct BlockSink {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Bytes> blocks;

    SerialChannel::ReceiveHandler handler() {
        return [this](Bytes b) {
            {
                std::lock_guard lock(mutex);
                blocks.push_back(std::move(b));
            }
            cv.notify_all();
        };
    }
    bool waitFor(std::size_t n) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(5), [&] { return blocks.size() >= n; });
    }
    std::vector<Bytes> get() {
        std::lock_guard lock(mutex);
        return blocks;
    }
};

} // namespace

TEST(ChannelOpen, resultsAndMessagesForEachKindOfFailure) {
    FakeLink link;
    EXPECT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    EXPECT_TRUE(link.channel.isOpen());
    EXPECT_EQ(link.channel.portName(), kPort);

    link.port->setOpenStatus("/dev/busy", PortOpenStatus::Unavailable);
    EXPECT_EQ(link.channel.open("/dev/busy", k9600), OpenResult::Unavailable);
    EXPECT_FALSE(link.channel.isOpen()); // the earlier open was closed first
    EXPECT_TRUE(link.messages().empty());
    EXPECT_EQ(link.channel.write(Bytes{1}).status, IoStatus::NotOpen);
    EXPECT_TRUE(link.port->writes().empty());

    link.port->setOpenStatus("/dev/odd", PortOpenStatus::SettingsUnreadable);
    EXPECT_EQ(link.channel.open("/dev/odd", k9600), OpenResult::SettingsFailed);
    link.port->setOpenStatus("/dev/odd", PortOpenStatus::SettingsRefused);
    EXPECT_EQ(link.channel.open("/dev/odd", k9600), OpenResult::SettingsFailed);
    EXPECT_EQ(link.messages(), (std::vector<std::string>{"GetCommState Failed", "设置失败"}));
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_FALSE(link.port->isOpen());
}

TEST(ChannelOpen, speedZeroIsRefusedBeforeTheDeviceIsTouched) {
    FakeLink link;
    EXPECT_EQ(link.channel.open(kPort, {0, 8, 0, 1}), OpenResult::SettingsFailed);
    EXPECT_EQ(link.messages(), std::vector<std::string>{"波特率无效"});
    EXPECT_TRUE(link.port->events().empty());
}

TEST(ChannelOpen, lineSettingsAsAskedWithOddCodesMeaningNoneOrUnchanged) {
    FakeLink link;
    struct Case {
        int parityCode, stopCode;
        Parity parity;
        int stopBits;
    };
    for (const Case c :
         {Case{0, 1, Parity::None, 1}, Case{1, 1, Parity::Odd, 1}, Case{2, 2, Parity::Even, 2},
          Case{7, 0, Parity::None, 0}, Case{-1, 3, Parity::None, 0}}) {
        ASSERT_EQ(link.channel.open(kPort, {1200, 8, c.parityCode, c.stopCode}),
                  OpenResult::Opened);
        const auto a = link.channel.appliedSettings();
        ASSERT_TRUE(a);
        EXPECT_EQ(a->baud, 1200u);
        EXPECT_EQ(a->parity, c.parity);
        EXPECT_EQ(a->stopBits, c.stopBits);
        EXPECT_FALSE(a->hardwareFlowControl || a->softwareFlowControl || a->dtr || a->rts);
    }
    link.channel.close();
    EXPECT_FALSE(link.channel.appliedSettings());
}

TEST(ChannelClose, harmlessWhenNeverOpenedAndWhenRepeated) {
    FakeLink link;
    link.channel.close();
    link.channel.close();
    EXPECT_TRUE(link.port->events().empty());
    EXPECT_EQ(link.clock.now(), Millis{0});
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    link.channel.close();
    link.channel.close();
    const auto events = link.port->events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].kind, Kind::PurgeAll);
    EXPECT_EQ(events[2].kind, Kind::Close);
    EXPECT_EQ(events[1].at - events[0].at, Millis{20});
}

TEST(ChannelWrite, settleDrainAndPurgeFollowEveryWrite) {
    FakeLink link;
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    const auto w = link.channel.write(Bytes{1, 2, 3});
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(w.written, 3u);
    const auto events = link.port->events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].kind, Kind::Write);
    EXPECT_EQ(events[2].kind, Kind::Drain);
    EXPECT_EQ(events[3].kind, Kind::PurgeOutput);
    EXPECT_EQ(events[2].at - events[1].at, Millis{50});
    EXPECT_EQ(link.clock.now(), Millis{50});
}

TEST(ChannelWrite, stalledWriteReportsAfterItsLimitAndStillSettles) {
    FakeLink link;
    link.port->scriptWrite(0, IoStatus::TimedOut);
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    EXPECT_EQ(link.channel.write(Bytes{1}).status, IoStatus::TimedOut);
    EXPECT_EQ(link.messages(), std::vector<std::string>{msg::kWriteTooLong});
    EXPECT_EQ(link.clock.now(), Millis{1000 + 50});
    EXPECT_TRUE(link.channel.isOpen());
}

TEST(ChannelReader, burstOf300BytesArrivesAsBlocksOf200And100) {
    BlockSink sink; // outlives the channel, whose reader calls it
    FakeLink link;
    link.channel.setReceiveHandler(sink.handler());
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    Bytes burst(300);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<std::uint8_t>(i);
    link.port->receive(burst);
    ASSERT_TRUE(sink.waitFor(2));
    const auto blocks = sink.get();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].size(), 200u);
    EXPECT_EQ(blocks[1].size(), 100u);
    EXPECT_EQ(blocks[1][0], 200);
    EXPECT_EQ(blocks[1][99], 299 & 0xFF);
}

TEST(ChannelReader, fullBlocksAreReadWithoutASettleBetweenThem) {
    // A line that never pauses: the 20 ms settle comes once per burst, not
    // once per 200 bytes, or the reader falls behind a 115200-baud stream.
    FakeLink link;
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<std::size_t, Millis>> got; // block size, time delivered
    link.channel.setReceiveHandler([&](Bytes b) {
        std::lock_guard lock(m);
        got.emplace_back(b.size(), link.clock.now());
        cv.notify_all();
    });
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    const Millis queued = link.clock.now();
    link.port->receive(Bytes(500, 0x55));
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return got.size() >= 3; }));
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].first, 200u);
        EXPECT_EQ(got[1].first, 200u);
        EXPECT_EQ(got[2].first, 100u);
        for (const auto& g : got)
            EXPECT_EQ(g.second, queued + kReadSettle);
    }
    // After a block that was not full the next burst is settled again.
    const Millis later = link.clock.now();
    link.port->receive(Bytes{1, 2});
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return got.size() >= 4; }));
    EXPECT_EQ(got[3].second, later + kReadSettle);
    lock.unlock();
    link.channel.close();
}

TEST(ChannelReader, perOpenHandlerWinsAndTheStandingOneReturnsAfterwards) {
    BlockSink standing, once;
    FakeLink link;
    link.channel.setReceiveHandler(standing.handler());
    ASSERT_EQ(link.channel.open(kPort, k9600, once.handler()), OpenResult::Opened);
    link.port->receive(Bytes{0xAA, 0x11});
    ASSERT_TRUE(once.waitFor(1));
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    link.port->receive(Bytes{0x0D});
    ASSERT_TRUE(standing.waitFor(1));
    EXPECT_EQ(once.get(), std::vector<Bytes>{(Bytes{0xAA, 0x11})});
    EXPECT_EQ(standing.get(), std::vector<Bytes>{Bytes{0x0D}});
}

TEST(ChannelReader, pollReceivedDeliversWhatIsQueuedOnTheCallingThread) {
    FakeLink link;
    std::vector<Bytes> got;
    std::mutex m;
    ASSERT_EQ(link.channel.open(kPort, k9600,
                                [&](Bytes b) {
                                    std::lock_guard lock(m);
                                    got.push_back(std::move(b));
                                }),
              OpenResult::Opened);
    link.port->receive(Bytes{1});
    link.port->receive(Bytes{2, 3});
    link.channel.pollReceived();
    std::lock_guard lock(m);
    ASSERT_EQ(got.size(), 2u); // by whichever thread, but all before pollReceived returned
    EXPECT_EQ(got[1], (Bytes{2, 3}));
}

TEST(ChannelReader, closeWakesAWaitingReaderPromptly) {
    FakeLink link;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
        if (i % 2)
            link.port->receive(Bytes{static_cast<std::uint8_t>(i)});
        link.channel.close();
    }
    // The reader waits up to 2 s for data; close must not wait for that.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ChannelReader, closeWaitsForAHandlerThatIsRunning) {
    FakeLink link;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    link.channel.setReceiveHandler([&](Bytes) {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        finished = true;
    });
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    link.port->receive(Bytes{1});
    for (int i = 0; i < 1000 && !started; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(started);
    link.channel.close();
    EXPECT_TRUE(finished); // joined, not abandoned
}

TEST(ChannelLost, deviceGoneWhileListeningIsReportedOnceAndTheChannelRecovers) {
    FakeLink link;
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    link.port->unplug();
    for (int i = 0; i < 500 && !link.channel.deviceLost(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(link.channel.deviceLost());
    EXPECT_FALSE(link.channel.isOpen());
    const auto w = link.channel.write(Bytes{1});
    EXPECT_EQ(w.status, IoStatus::DeviceLost);
    EXPECT_EQ(link.messages(), std::vector<std::string>{"串口 /dev/ttyUSB0 已断开"});
    EXPECT_EQ(link.channel.write(Bytes{1}).status, IoStatus::NotOpen);
    EXPECT_EQ(link.channel.open(kPort, k9600), OpenResult::Unavailable); // still unplugged
    link.port->replug();
    EXPECT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    EXPECT_FALSE(link.channel.deviceLost());
    EXPECT_TRUE(link.channel.write(Bytes{1}).ok());
}

TEST(ChannelLost, closingDoesNotForgetTheLossUntilAnOpenSucceeds) {
    FakeLink link;
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    link.port->unplug();
    for (int i = 0; i < 500 && !link.channel.deviceLost(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(link.channel.deviceLost());
    link.channel.close();
    link.channel.close();
    EXPECT_TRUE(link.channel.deviceLost()); // an operation asks after closing
    EXPECT_EQ(link.channel.open(kPort, k9600), OpenResult::Unavailable);
    EXPECT_TRUE(link.channel.deviceLost());
    link.port->replug();
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    EXPECT_FALSE(link.channel.deviceLost());
}

TEST(ChannelCheckLine, triesTheSettingsAndLeavesNothingOpen) {
    FakeLink link;
    link.port->refuseSpeed(14400);
    link.port->setOpenStatus("/dev/busy", PortOpenStatus::Busy);
    EXPECT_EQ(link.channel.checkLine(kPort, {9600, 8, 2, 1}), PortOpenStatus::Ok);
    EXPECT_FALSE(link.port->isOpen());
    EXPECT_FALSE(link.channel.isOpen());
    EXPECT_EQ(link.channel.checkLine(kPort, {14400, 8, 0, 1}), PortOpenStatus::SettingsRefused);
    EXPECT_EQ(link.channel.lastOpenStatus(), PortOpenStatus::SettingsRefused);
    EXPECT_EQ(link.channel.checkLine("/dev/busy", k9600), PortOpenStatus::Busy);
    const auto before = link.port->events().size();
    EXPECT_EQ(link.channel.checkLine(kPort, {0, 8, 0, 1}), PortOpenStatus::SettingsRefused);
    EXPECT_EQ(link.port->events().size(), before); // speed 0 never reaches the device
    EXPECT_TRUE(link.port->writes().empty());
    EXPECT_TRUE(link.messages().empty());
    EXPECT_EQ(link.clock.now(), Millis{0});
    // An open channel is closed first: the device is held once.
    ASSERT_EQ(link.channel.open(kPort, k9600), OpenResult::Opened);
    EXPECT_EQ(link.channel.checkLine(kPort, k9600), PortOpenStatus::Ok);
    EXPECT_FALSE(link.channel.isOpen());
}

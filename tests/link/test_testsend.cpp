// Test send over the in-memory port in virtual time: the port opened at the
// projector's settings, the code written once, every block received within
// the wait kept with its time, and each failure said plainly.
#include "link/fakeserialport.h"
#include "link/messages.h"
#include "link/testsend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

using namespace pj::link;
using Kind = FakePortEvent::Kind;

namespace {

const std::string kPort = "/dev/ttyUSB0";

// Virtual time that can make things happen once a moment has passed.
class HookedClock final : public Clock {
public:
    Millis now() override { return inner_.now(); }
    void sleep(Millis d) override {
        inner_.sleep(d);
        std::function<void()> hook;
        {
            std::lock_guard lock(mu_);
            hook = onSleep_;
        }
        if (hook)
            hook();
    }
    void setHook(std::function<void()> hook) {
        std::lock_guard lock(mu_);
        onSleep_ = std::move(hook);
    }

private:
    VirtualClock inner_;
    std::mutex mu_;
    std::function<void()> onSleep_;
};

// A channel over the in-memory port; answers and a pulled adapter are
// scheduled by the time since the code was written.
struct Rig {
    struct Scheduled {
        Millis at;
        Bytes bytes;
        bool done = false;
    };

    HookedClock clock;
    FakeSerialPort* port = nullptr; // owned by the channel
    std::unique_ptr<SerialChannel> channel;
    std::mutex mu;
    std::vector<std::string> sunk;
    std::optional<Bytes> replyOnWrite;
    std::vector<Scheduled> scheduled;
    std::optional<Millis> unplugAt;
    std::function<void(Millis)> atEachSleep;
    std::atomic<Millis> writeAt{Millis{-1}};

    Rig() {
        auto p = std::make_unique<FakeSerialPort>(clock);
        port = p.get();
        channel = std::make_unique<SerialChannel>(std::move(p), clock);
        channel->setMessageSink([this](const std::string& t) {
            std::lock_guard lock(mu);
            sunk.push_back(t);
        });
        port->setResponder([this](const FakePortEvent& w) -> std::optional<Bytes> {
            writeAt = w.at;
            return replyOnWrite;
        });
        clock.setHook([this] { tick(); });
    }
    ~Rig() { clock.setHook({}); }

    void answerAt(Millis at, Bytes bytes) { scheduled.push_back({at, std::move(bytes)}); }

private:
    void tick() {
        const Millis w = writeAt.load();
        if (w < Millis{0})
            return;
        const Millis since = clock.now() - w;
        std::lock_guard lock(mu);
        for (auto& s : scheduled) {
            if (!s.done && since >= s.at) {
                s.done = true;
                port->receive(s.bytes);
            }
        }
        if (unplugAt && since >= *unplugAt) {
            unplugAt.reset();
            port->unplug();
        }
        if (atEachSleep)
            atEachSleep(since);
    }
};

TestSendRequest request(Bytes code, Millis wait = Millis{500}, int parity = 0) {
    return {kPort, {9600, 8, parity, 1}, std::move(code), wait};
}

} // namespace

TEST(TestSend, Answer_IsKeptWithItsTimeAndTheChannelIsClosedAfter) {
    Rig rig;
    rig.replyOnWrite = Bytes{0x3a};
    const Bytes code{0x50, 0x57, 0x52, 0x20, 0x4f, 0x4e, 0x0d};
    const TestSendResult r = testSend(*rig.channel, request(code, Millis{500}, 2));

    EXPECT_EQ(r.outcome, TestSendOutcome::Answered);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(r.answer(), Bytes{0x3a});
    ASSERT_TRUE(r.firstByte());
    EXPECT_LE(*r.firstByte(), Millis{80}); // within the write's settle and one step
    EXPECT_FALSE(rig.channel->isOpen());

    const auto events = rig.port->events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().kind, Kind::Open);
    EXPECT_EQ(events.front().port, kPort);
    EXPECT_EQ(events.front().settings.baud, 9600u);
    EXPECT_EQ(events.front().settings.parityCode, 2);
    ASSERT_EQ(rig.port->writes().size(), 1u);
    EXPECT_EQ(rig.port->writtenBytes(), code);
    EXPECT_EQ(events.back().kind, Kind::Close);
}

TEST(TestSend, AnswerInTwoParts_GivesTwoBlocksInOrder) {
    Rig rig;
    rig.answerAt(Millis{100}, {0x50, 0x57, 0x52, 0x3d, 0x30, 0x31, 0x0d});
    rig.answerAt(Millis{300}, {0x3a});
    const TestSendResult r = testSend(*rig.channel, request({0x50, 0x57, 0x52, 0x3f, 0x0d}));
    ASSERT_EQ(r.blocks.size(), 2u);
    EXPECT_GE(r.blocks[0].at, Millis{100});
    EXPECT_LE(r.blocks[0].at, Millis{140});
    EXPECT_GE(r.blocks[1].at, Millis{300});
    EXPECT_LE(r.blocks[1].at, Millis{340});
    EXPECT_EQ(answerText(r.answer()), "PWR=01\\r:");
    EXPECT_EQ(*r.firstByte(), r.blocks[0].at);
}

TEST(TestSend, NothingWithinTheWait_IsNoAnswerAfterTheWholeWait) {
    Rig rig;
    rig.answerAt(Millis{800}, {0x3a}); // too late for a 500 ms wait
    const Millis before = rig.clock.now();
    const TestSendResult r = testSend(*rig.channel, request({0x01}));
    EXPECT_EQ(r.outcome, TestSendOutcome::NoAnswer);
    EXPECT_EQ(r.message, "投影机在 500 毫秒内没有应答");
    EXPECT_TRUE(r.blocks.empty());
    EXPECT_FALSE(r.firstByte());
    EXPECT_GE(rig.clock.now() - before, Millis{500} + r.sendTime);
}

TEST(TestSend, ZeroWait_StillTakesWhatHasArrived) {
    Rig rig;
    rig.replyOnWrite = Bytes{0x06};
    const TestSendResult r = testSend(*rig.channel, request({0x01}, Millis{0}));
    EXPECT_EQ(r.outcome, TestSendOutcome::Answered);
    EXPECT_EQ(r.answer(), Bytes{0x06});
}

TEST(TestSend, PortThatCannotBeOpened_IsSaidPlainlyAndNothingIsSent) {
    Rig rig;
    rig.port->setOpenStatus(kPort, PortOpenStatus::Unavailable);
    const TestSendResult r = testSend(*rig.channel, request({0x01}));
    EXPECT_EQ(r.outcome, TestSendOutcome::PortUnavailable);
    EXPECT_EQ(r.message, "无法打开串口 /dev/ttyUSB0");
    EXPECT_TRUE(rig.port->writes().empty());

    rig.port->setOpenStatus(kPort, PortOpenStatus::Busy); // another program holds it
    EXPECT_EQ(testSend(*rig.channel, request({0x01})).message,
              "串口 /dev/ttyUSB0 正被其他程序占用，请先关闭占用它的程序");
}

TEST(TestSend, SettingsRefused_IsPortFailedWithTheChannelsReason) {
    Rig rig;
    rig.port->setOpenStatus(kPort, PortOpenStatus::SettingsRefused);
    const TestSendResult r = testSend(*rig.channel, request({0x01}));
    EXPECT_EQ(r.outcome, TestSendOutcome::PortFailed);
    EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 不接受这些设置，没有发送");
    EXPECT_EQ(rig.sunk, std::vector<std::string>{msg::kSettingsFailed});
    EXPECT_TRUE(rig.port->writes().empty());
}

TEST(TestSend, EmptyCode_IsRefusedBeforeThePortIsTouched) {
    Rig rig;
    const TestSendResult r = testSend(*rig.channel, request({}));
    EXPECT_EQ(r.outcome, TestSendOutcome::Refused);
    EXPECT_EQ(r.message, "功能码为空，没有发送");
    EXPECT_TRUE(rig.port->events().empty());
}

TEST(TestSend, DeviceLostOnTheWrite_SaysThePortIsGone) {
    Rig rig;
    rig.port->scriptWrite(0, IoStatus::DeviceLost);
    const TestSendResult r = testSend(*rig.channel, request({0x01}));
    EXPECT_EQ(r.outcome, TestSendOutcome::DeviceLost);
    EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 已断开");
    EXPECT_FALSE(rig.channel->isOpen());
}

TEST(TestSend, DeviceLostWhileListening_EndsTheWaitAndKeepsWhatCame) {
    Rig rig;
    rig.answerAt(Millis{50}, {0x3a});
    rig.unplugAt = Millis{120};
    const TestSendResult r = testSend(*rig.channel, request({0x01}, Millis{5000}));
    EXPECT_EQ(r.outcome, TestSendOutcome::DeviceLost);
    EXPECT_EQ(r.message, "串口 /dev/ttyUSB0 已断开");
    EXPECT_EQ(r.answer(), Bytes{0x3a});
    EXPECT_LT(rig.clock.now(), Millis{1000});
    EXPECT_FALSE(rig.channel->isOpen());
}

TEST(TestSend, WriteThatTakesTooLong_IsWriteFailed) {
    Rig rig;
    rig.port->scriptWrite(0, IoStatus::TimedOut);
    const TestSendResult r = testSend(*rig.channel, request({0x01}));
    EXPECT_EQ(r.outcome, TestSendOutcome::WriteFailed);
    EXPECT_EQ(r.message, msg::kWriteTooLong);
    EXPECT_FALSE(rig.channel->isOpen());
}

TEST(TestSend, StopRequest_EndsTheWait) {
    Rig rig;
    std::stop_source stop;
    rig.atEachSleep = [&stop](Millis since) {
        if (since >= Millis{200})
            stop.request_stop();
    };
    const TestSendResult r =
        testSend(*rig.channel, request({0x01}, Millis{60000}), stop.get_token());
    EXPECT_EQ(r.outcome, TestSendOutcome::Stopped);
    EXPECT_EQ(r.message, "试发已停止");
    EXPECT_LT(rig.clock.now(), Millis{1000});
    EXPECT_FALSE(rig.channel->isOpen());
}

TEST(AnswerText, ControlBytesAreEscapedAndTextKept) {
    EXPECT_EQ(answerText(Bytes{'E', 'R', 'R', 0x0d, ':'}), "ERR\\r:");
    EXPECT_EQ(answerText(Bytes{0x22, 0x00, 0x5c, 0x0a, 0x09, 0xff}), "\"\\x00\\\\\\n\\t\\xff");
    EXPECT_EQ(answerText(Bytes{}), "");
}

// The link core's channel and sequences against the controller simulator on a
// pseudo-terminal, with the protocol's real pauses. Each test writes one or two
// rows at most, so the whole program stays within a few seconds per case.
#include "link/detection.h"
#include "link/gbk.h"
#include "link/sequences.h"
#include "link/serialchannel.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

using namespace pj::link;
using namespace std::chrono_literals;

namespace {

class Messages {
public:
    void add(const std::string& m) {
        std::lock_guard lock(mu_);
        all_.push_back(m);
    }
    std::vector<std::string> all() const {
        std::lock_guard lock(mu_);
        return all_;
    }

private:
    mutable std::mutex mu_;
    std::vector<std::string> all_;
};

class Observer : public SequenceObserver {
public:
    explicit Observer(Messages& m)
        : messages_(m) {}
    void message(const std::string& text) override { messages_.add(text); }

private:
    Messages& messages_;
};

// Received blocks, matched against the rows as the main panel does.
class EchoMatcher {
public:
    explicit EchoMatcher(CodeList rows)
        : rows_(std::move(rows)) {}
    void take(Bytes block) {
        std::lock_guard lock(mu_);
        blocks_.push_back(block);
        if (auto row = matchEcho(rows_, block))
            confirmed_.push_back(*row);
        cv_.notify_all();
    }
    // Waits until `count` blocks have come; returns the rows confirmed so far.
    std::vector<std::size_t> waitBlocks(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mu_);
        cv_.wait_for(lock, limit, [&] { return blocks_.size() >= count; });
        return confirmed_;
    }
    std::vector<Bytes> blocks() {
        std::lock_guard lock(mu_);
        return blocks_;
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    CodeList rows_;
    std::vector<Bytes> blocks_;
    std::vector<std::size_t> confirmed_;
};

struct Rig {
    explicit Rig(pj::sim::SimulatorOptions opt)
        : sim(opt)
        , channel(pj::link::makeSystemSerialPort(), clock) {
        std::string error;
        started = sim.start(error);
        EXPECT_TRUE(started) << error;
        channel.setMessageSink([this](const std::string& m) { messages.add(m); });
        shell.portName = sim.portPath();
        shell.editionCode = sim.config().editionCode;
        shell.controllerBaud = sim.config().programmingBaud;
        shell.machineType = sim.config().machineType;
    }
    ~Rig() { channel.close(); }

    SystemClock clock;
    pj::sim::Simulator sim;
    SerialChannel channel;
    Messages messages;
    ShellState shell;
    bool started = false;
};

CodeListEntry row(std::string code, std::uint32_t key, std::uint32_t parity) {
    CodeListEntry e;
    e.codeText = std::move(code);
    e.keyType = key;
    e.parity = parity;
    e.selected = true;
    return e;
}

} // namespace

TEST(LinkWithSimulator, DetectionFindsTheControllerBehindAnAbsentPort) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x11; // edition 21 at 1200
    Rig rig(opt);
    ASSERT_TRUE(rig.started);
    Observer observer(rig.messages);
    const std::vector<std::string> ports{"/dev/pj-absent-port", rig.sim.portPath()};
    const DetectionResult r = detectionScan(rig.channel, ports, observer);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.portName, rig.sim.portPath());
    EXPECT_EQ(r.edition.editionCode, 21);
    EXPECT_EQ(r.edition.controllerBaud, 1200);
    EXPECT_TRUE(rig.messages.all().empty());
    EXPECT_FALSE(rig.channel.isOpen());
}

TEST(LinkWithSimulator, DetectionFindsAControllerThatAnswersOnlyTheFirstProbe) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x01; // edition 21 at 600, the first speed scanned
    opt.probes = pj::sim::ProbePolicy::First;
    Rig rig(opt);
    ASSERT_TRUE(rig.started);
    Observer observer(rig.messages);
    const std::vector<std::string> ports{rig.sim.portPath()};
    const DetectionResult r = detectionScan(rig.channel, ports, observer);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.edition.controllerBaud, 600);
    // One answer was all the controller gave.
    int answers = 0;
    for (const auto& e : rig.sim.log().snapshot())
        answers += e.kind() == "answer";
    EXPECT_EQ(answers, 1);
}

TEST(LinkWithSimulator, KeyPressConfirmsTheRowOnlyAtTheProjectorSpeedAndParity) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x07; // 2007 at 9600, colon-first, group B
    Rig rig(opt);
    ASSERT_TRUE(rig.started);
    SelectedModel model;
    model.selectedBaud = 19200;
    model.rows = {row("a0 01 0d", 2, 1)};
    EchoMatcher matcher(model.rows);
    rig.channel.setReceiveHandler([&](Bytes b) { matcher.take(std::move(b)); });
    Observer observer(rig.messages);

    const SequenceResult r = writeSelectedCodes(rig.channel, rig.shell, model, observer);
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_TRUE(r.listening);
    const auto stored = rig.sim.storedKey(2);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->projectorBaud, 19200u);
    EXPECT_EQ(stored->parity, 1);
    EXPECT_EQ(stored->reload, 0xFA);

    // The channel listens at 19200, odd parity: the echo is the code itself.
    EXPECT_EQ(rig.sim.press(2), (Bytes{0xA0, 0x01, 0x0D}));
    EXPECT_EQ(matcher.waitBlocks(1, 2s), (std::vector<std::size_t>{0}));

    // At another speed, or without the parity, the same press matches nothing.
    for (const LineSettings& wrong : {LineSettings{9600, 8, 1, 1}, LineSettings{19200, 8, 0, 1}}) {
        rig.channel.close();
        ASSERT_EQ(rig.channel.open(rig.shell.portName, wrong), OpenResult::Opened);
        const std::size_t before = matcher.blocks().size();
        EXPECT_EQ(rig.sim.press(2).size(), 3u);
        EXPECT_EQ(matcher.waitBlocks(before + 1, 2s).size(), 1u); // still only the first
        ASSERT_EQ(matcher.blocks().size(), before + 1);
        EXPECT_EQ(matcher.blocks().back().size(), 3u);
    }
    EXPECT_TRUE(rig.messages.all().empty());
}

TEST(LinkWithSimulator, RoomBlockAndCardArriveIntact) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x31; // edition 31 at 1200
    Rig rig(opt);
    ASSERT_TRUE(rig.started);
    Observer observer(rig.messages);
    RoomParameters p;
    p.offDelayMinutes = 7;
    p.signalSource = 3;
    p.visualizerType = 0;
    p.curtainSeconds = 200;
    p.oneKey = true;
    p.networkMachine = true;
    const SequenceResult room = writeRoomParameters(rig.channel, rig.shell, p, 9600, observer);
    ASSERT_TRUE(room.ok()) << room.message;
    const std::string number = "教室-101";
    const SequenceResult card = writeIdCard(rig.channel, rig.shell, number, observer);
    ASSERT_TRUE(card.ok()) << card.message;

    ASSERT_TRUE(rig.sim.log().waitFor("card", 2s));
    const auto blocks = rig.sim.roomBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].bytes, (std::array<std::uint8_t, 8>{7, 3, 0, 1, 200, 1, 0, 1}));
    EXPECT_GE(blocks[0].gapMs, 450); // the mark goes 500 ms ahead of the block
    EXPECT_EQ(rig.shell.visualizerNumber, 1);
    const auto cards = rig.sim.cards();
    ASSERT_EQ(cards.size(), 1u);
    const auto gbk = utf8ToGbk(number);
    ASSERT_TRUE(gbk);
    EXPECT_EQ(cards[0].number, Bytes(gbk->begin(), gbk->end()));
    for (const auto& e : rig.sim.log().snapshot())
        EXPECT_NE(e.kind(), "rejected") << e.json();
}

TEST(LinkWithSimulator, UnpluggedPortMidWriteFailsClearlyAndCanBeOpenedAgain) {
    pj::sim::SimulatorOptions opt;
    opt.answerByte = 0x11;
    Rig rig(opt);
    ASSERT_TRUE(rig.started);
    SelectedModel model;
    model.rows = {row("01 02 03", 0, 0), row("04 05 06", 1, 0)};
    Observer observer(rig.messages);

    auto done = std::async(std::launch::async, [&] {
        return writeSelectedCodes(rig.channel, rig.shell, model, observer);
    });
    // Pull the adapter once the first chunk of the first frame is in.
    ASSERT_TRUE(rig.sim.log().waitFor("rx", 5s));
    rig.sim.unplug();
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready) << "the write hangs";
    const SequenceResult r = done.get();
    EXPECT_EQ(r.outcome, SequenceOutcome::WriteFailed);
    EXPECT_EQ(r.message, "串口 " + rig.sim.portPath() + " 已断开");
    // On a loaded machine the pull may land after the first frame's second
    // chunk; either way the sequence must not get through both rows.
    EXPECT_LT(r.rowsWritten, 2u);
    EXPECT_FALSE(rig.channel.isOpen());

    std::string error;
    // A replugged adapter may come back under another name, as a pty does.
    ASSERT_TRUE(rig.sim.replug(error)) << error;
    EXPECT_EQ(rig.channel.open(rig.sim.portPath(), LineSettings{1200, 8, 0, 1}),
              OpenResult::Opened);
}

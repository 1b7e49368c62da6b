// The program's command line, controller operations on the worker thread
// with their reports coming back on the thread that started them, and the
// test send's job that puts the channel back as it was.

#include "link/fakeserialport.h"
#include "link/messages.h"
#include "link/sequences.h"
#include "shell/controllertask.h"
#include "shell/options.h"
#include "shell/trialrun.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace pj;
using namespace pj::shell;

namespace {

// A clock that does not sleep, so sequences run at once.
class InstantClock final : public link::Clock {
public:
    link::Millis now() override { return t_; }
    void sleep(link::Millis d) override { t_ += d; }

private:
    link::Millis t_{0};
};

link::SelectedModel twoRows() {
    link::SelectedModel m;
    m.selectedBaud = 9600;
    link::CodeListEntry a;
    a.codeText = "a0 01 0d";
    a.selected = true;
    a.parity = 1;
    link::CodeListEntry b = a;
    b.codeText = "a0 02 0d";
    b.keyType = 1;
    b.parity = 2;
    m.rows = {a, b};
    return m;
}

// Remembers where the channel said it listens again.
struct ListenSpy final : link::SequenceObserver {
    void listening(std::uint32_t baud, link::Parity parity) override {
        heard.push_back({baud, parity});
    }
    std::vector<std::pair<std::uint32_t, link::Parity>> heard;
};

} // namespace

class TestShellLogic : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void options_simulatePortsAndErrors() {
        QString error;
        auto o = parseOptions({}, error);
        QVERIFY(o && !o->simulate && o->ports.empty());

        o = parseOptions({QStringLiteral("--simulate")}, error);
        QVERIFY(o && o->simulate);
        QCOMPARE(o->answerByte, std::uint8_t{0x01});

        o = parseOptions({QStringLiteral("--simulate=0x31"), QStringLiteral("--port"),
                          QStringLiteral("/dev/ttyUSB0"), QStringLiteral("--port=/dev/ttyS1")},
                         error);
        QVERIFY(o && o->simulate);
        QCOMPARE(o->answerByte, std::uint8_t{0x31});
        QCOMPARE(o->ports, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyS1"}));

        o = parseOptions({QStringLiteral("--simulate=18")}, error);
        QVERIFY(o);
        QCOMPARE(o->answerByte, std::uint8_t{18});

        for (const QStringList& bad : {QStringList{QStringLiteral("--simulate=0x100")},
                                       {QStringLiteral("--simulate=x")},
                                       {QStringLiteral("--port")},
                                       {QStringLiteral("--port=")},
                                       {QStringLiteral("--bogus")}}) {
            error.clear();
            QVERIFY(!parseOptions(bad, error));
            QVERIFY2(!error.isEmpty(), qPrintable(bad.join(u' ')));
        }
        QVERIFY(parseOptions({QStringLiteral("--help")}, error)->help);
        QVERIFY(parseOptions({QStringLiteral("--version")}, error)->version);
    }

    void options_theProgramKeepsTheRecord_besideTheCatalogueOrWhereToldTo() {
        QString error;
        auto o = parseOptions({}, error);
        QVERIFY(o && o->keepRecord && o->recordFile.isEmpty());
        o = parseOptions({QStringLiteral("--record"), QStringLiteral("/srv/r.db")}, error);
        QVERIFY(o && o->keepRecord);
        QCOMPARE(o->recordFile, QStringLiteral("/srv/r.db"));
        QVERIFY(!parseOptions({QStringLiteral("--record=")}, error));
        QVERIFY(!parseOptions({QStringLiteral("--record")}, error));
        // Made in code (tests, the benchmark): no record unless asked for.
        QVERIFY(!ProgramOptions{}.keepRecord);
    }

    void task_reportsOnItsOwnThreadInOrder() {
        InstantClock clock;
        auto fake = std::make_unique<link::FakeSerialPort>(clock);
        link::FakeSerialPort& port = *fake;
        link::SerialChannel channel(std::move(fake), clock);
        link::ShellState shell;
        shell.portName = "ttyFAKE";
        auto model = std::make_shared<link::SelectedModel>(twoRows());

        ControllerTask task;
        QSignalSpy progress(&task, &ControllerTask::progress);
        QSignalSpy status(&task, &ControllerTask::rowStatus);
        QSignalSpy finished(&task, &ControllerTask::finished);
        QList<QThread*> threads;
        connect(&task, &ControllerTask::progress, this,
                [&threads](int) { threads << QThread::currentThread(); });

        QVERIFY(task.start([&channel, shell, model](link::SequenceObserver& o) {
            return link::writeSelectedCodes(channel, shell, *model, o);
        }));
        QVERIFY(task.busy());
        QVERIFY(!task.start([](link::SequenceObserver&) { return link::SequenceResult{}; }));
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(!task.busy());
        QCOMPARE(finished[0][0].toInt(), int(link::SequenceOutcome::Completed));
        QCOMPARE(finished[0][2].toInt(), 2);
        QCOMPARE(status.size(), 2);
        QCOMPARE(status[1][0].toInt(), 1);
        QList<int> values;
        for (const auto& p : progress)
            values << p[0].toInt();
        QCOMPARE(values, (QList<int>{50, 100, 0, 50, 100, 0}));
        for (QThread* t : threads)
            QCOMPARE(t, QThread::currentThread());
        QCOMPARE(model->lastParity, 2u);
        QCOMPARE(port.writes().size(), std::size_t{4}); // two chunks per frame
        channel.close();
    }

    void task_portFailure_endsWithItsMessage() {
        InstantClock clock;
        auto fake = std::make_unique<link::FakeSerialPort>(clock);
        fake->setDefaultOpenStatus(link::PortOpenStatus::Unavailable);
        link::SerialChannel channel(std::move(fake), clock);
        link::ShellState shell;
        shell.portName = "ttyGONE";
        ControllerTask task;
        QSignalSpy messages(&task, &ControllerTask::message);
        QSignalSpy finished(&task, &ControllerTask::finished);
        QVERIFY(task.start([&channel, shell](link::SequenceObserver& o) {
            return link::writeIdCard(channel, shell, "12345678", o);
        }));
        QTRY_COMPARE(finished.size(), 1);
        const QString text =
            QString::fromStdString(link::msg::formatMessage(link::msg::kCannotOpenPort, "ttyGONE"));
        QCOMPARE(finished[0][0].toInt(), int(link::SequenceOutcome::PortFailed));
        QCOMPARE(finished[0][1].toString(), text);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0][0].toString(), text);
    }

    void task_approximateSpeedAnswer_isPassedToTheSequence() {
        InstantClock clock;
        link::SerialChannel channel(std::make_unique<link::FakeSerialPort>(clock), clock);
        link::ShellState shell; // edition 21, group A: 115200 is only approximated
        shell.portName = "ttyFAKE";
        for (bool answer : {false, true}) {
            auto model = std::make_shared<link::SelectedModel>(twoRows());
            model->selectedBaud = 115200;
            ControllerTask task;
            QSignalSpy finished(&task, &ControllerTask::finished);
            QVERIFY(task.start(
                [&channel, shell, model](link::SequenceObserver& o) {
                    return link::writeSelectedCodes(channel, shell, *model, o);
                },
                answer));
            QTRY_COMPARE(finished.size(), 1);
            QCOMPARE(finished[0][0].toInt(), int(answer ? link::SequenceOutcome::Completed
                                                        : link::SequenceOutcome::Cancelled));
        }
        channel.close();
    }

    void task_stopRequest_endsTheJobAtItsNextPause() {
        // Real time: the first pause after the frame lasts 900 ms unless stopped.
        link::SystemClock clock;
        auto fake = std::make_unique<link::FakeSerialPort>(clock);
        link::FakeSerialPort& port = *fake;
        link::SerialChannel channel(std::move(fake), clock);
        link::ShellState shell;
        shell.editionCode = 2007; // 9600, colon-first
        shell.controllerBaud = 9600;
        shell.portName = "ttyFAKE";
        auto model = std::make_shared<link::SelectedModel>(twoRows());
        ControllerTask task;
        QSignalSpy written(&task, &ControllerTask::rowStatus);
        QSignalSpy finished(&task, &ControllerTask::finished);
        QVERIFY(
            task.start([&channel, shell, model](link::SequenceObserver& o, std::stop_token stop) {
                return link::writeSelectedCodes(channel, shell, *model, o, stop);
            }));
        QTRY_COMPARE_WITH_TIMEOUT(written.size(), 1, 5000); // the first frame is out
        QElapsedTimer stopping;
        stopping.start();
        task.requestStop();
        QVERIFY(task.stopRequested());
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
        QVERIFY2(stopping.elapsed() < 1700, "the stop waited for the pauses");
        QCOMPARE(finished[0][0].toInt(), int(link::SequenceOutcome::Stopped));
        QCOMPARE(finished[0][1].toString(),
                 QStringLiteral("写码已停止：已写入 1 个功能码（共 2 个）"));
        QCOMPARE(finished[0][2].toInt(), 1);
        QCOMPARE(port.writes().size(), std::size_t{2}); // one whole frame
        QVERIFY(!task.stopRequested());
        QVERIFY(!channel.isOpen());
    }

    void trial_whileListening_sendsOnTheProjectorsLine_thenListensAsBefore() {
        InstantClock clock;
        auto fake = std::make_unique<link::FakeSerialPort>(clock);
        link::FakeSerialPort& port = *fake;
        port.setResponder([](const link::FakePortEvent& w) -> std::optional<link::Bytes> {
            if (w.port == "ttyPROJ")
                return link::Bytes{0x3a};
            return std::nullopt;
        });
        link::SerialChannel channel(std::move(fake), clock);
        std::vector<link::Bytes> echoes;
        channel.setReceiveHandler([&echoes](link::Bytes b) { echoes.push_back(std::move(b)); });
        QCOMPARE(channel.open("ttyCTRL", {9600, 8, 2, 1}), link::OpenResult::Opened);
        port.clearEvents();

        ListenSpy spy;
        const TrialRun run = runTrial(
            channel, {"ttyPROJ", {38400, 8, 1, 1}, {0x50, 0x0d}, link::Millis{300}}, {}, spy);
        QCOMPARE(run.result.outcome, link::TestSendOutcome::Answered);
        QCOMPARE(run.result.answer(), link::Bytes{0x3a});
        QVERIFY(run.wasListening && run.listeningAgain && !run.listeningLost());
        QVERIFY(echoes.empty()); // the answer went to the test send, not to the echo handler
        QVERIFY(channel.isOpen());
        QCOMPARE(channel.portName(), std::string("ttyCTRL"));
        QCOMPARE(channel.settings().baud, 9600u);
        QCOMPARE(channel.settings().parityCode, 2);
        QCOMPARE(spy.heard.size(), std::size_t{1});
        QCOMPARE(spy.heard[0].first, 9600u);
        QCOMPARE(spy.heard[0].second, link::Parity::Even);
        std::vector<std::string> opens;
        for (const auto& e : port.events())
            if (e.kind == link::FakePortEvent::Kind::Open)
                opens.push_back(e.port + "@" + std::to_string(e.settings.baud) + "/" +
                                std::to_string(e.settings.parityCode));
        QCOMPARE(opens, (std::vector<std::string>{"ttyPROJ@38400/1", "ttyCTRL@9600/2"}));
        // The standing handler hears the controller again.
        port.receive({0xa0, 0x01});
        channel.pollReceived();
        QCOMPARE(echoes.size(), std::size_t{1});
        channel.close();
    }

    void trial_withoutListening_leavesTheChannelClosed_andALostLineIsTold() {
        InstantClock clock;
        auto fake = std::make_unique<link::FakeSerialPort>(clock);
        link::FakeSerialPort& port = *fake;
        link::SerialChannel channel(std::move(fake), clock);
        ListenSpy spy;
        TrialRun run =
            runTrial(channel, {"ttyPROJ", {9600, 8, 0, 1}, {0x01}, link::Millis{50}}, {}, spy);
        QCOMPARE(run.result.outcome, link::TestSendOutcome::NoAnswer);
        QVERIFY(!run.wasListening && !run.listeningLost());
        QVERIFY(!channel.isOpen());
        QVERIFY(spy.heard.empty());

        // Listening before, but the controller's port is gone afterwards.
        QCOMPARE(channel.open("ttyCTRL", {600, 8, 0, 1}), link::OpenResult::Opened);
        port.setOpenStatus("ttyCTRL", link::PortOpenStatus::Unavailable);
        run = runTrial(channel, {"ttyPROJ", {9600, 8, 0, 1}, {0x01}, link::Millis{50}}, {}, spy);
        QVERIFY(run.listeningLost());
        QCOMPARE(run.listenPort, std::string("ttyCTRL"));
        QVERIFY(!channel.isOpen());
        QVERIFY(spy.heard.empty());

        // A stop before the send: nothing is written, the line is put back all the same.
        port.setOpenStatus("ttyCTRL", link::PortOpenStatus::Ok);
        QCOMPARE(channel.open("ttyCTRL", {600, 8, 0, 1}), link::OpenResult::Opened);
        port.clearEvents();
        std::stop_source stop;
        stop.request_stop();
        run = runTrial(channel, {"ttyPROJ", {9600, 8, 0, 1}, {0x01}, link::Millis{50}},
                       stop.get_token(), spy);
        QCOMPARE(run.result.outcome, link::TestSendOutcome::Stopped);
        QVERIFY(port.writes().empty());
        QVERIFY(run.listeningAgain && channel.isOpen());
        channel.close();
    }
};

QTEST_GUILESS_MAIN(TestShellLogic)
#include "test_shell_logic.moc"

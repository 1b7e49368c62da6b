// projector-cli commission against several controller simulators on ptys, in
// real time: eight rooms on eight ports at once, a pulled adapter failing its
// own row only, and --pause taking one controller after the other on a port.
#include "cli/record_commands.h"
#include "cli_test_support.h"
#include "record/recorder.h"
#include "sim/simulator.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace pj::cli;
using namespace std::chrono_literals;
namespace record = pj::record;

namespace {

struct Sims {
    explicit Sims(int n) {
        for (int i = 0; i < n; ++i) {
            pj::sim::SimulatorOptions o;
            o.answerByte = 0x09; // edition 2009, programmed at 19200, colon-first
            auto s = std::make_unique<pj::sim::Simulator>(o);
            std::string error;
            started = s->start(error) && started;
            EXPECT_TRUE(started) << error;
            all.push_back(std::move(s));
        }
    }
    std::size_t count(std::size_t i, const std::string& kind) const {
        std::size_t n = 0;
        for (const auto& e : all[i]->log().snapshot())
            n += e.kind() == kind ? 1 : 0;
        return n;
    }
    std::vector<std::unique_ptr<pj::sim::Simulator>> all;
    bool started = true;
};

struct CommissionRun {
    int code = -1;
    std::string out;
    std::string err;
    std::vector<QJsonObject> events() const {
        std::vector<QJsonObject> list;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            list.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        return list;
    }
};

CommissionRun commission(const std::vector<std::string>& args, const std::string& input = {},
                         std::atomic<bool>* stop = nullptr) {
    std::ostringstream out, err;
    std::istringstream in(input);
    Io io{out, err, in};
    CommissionRun r;
    LinkEnv env = systemLinkEnv();
    env.stop = stop;
    r.code = commissionCommand(args, io, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

const QByteArray kHeader = "room,port,edition,codes,projector_baud,signal_source,card\n";

QByteArray roomRow(const std::string& room, const std::string& port, const char* codes) {
    return QByteArray::fromStdString(room + "," + port + ",2009," + codes + ",9600,1,C-" + room +
                                     "\n");
}

std::vector<record::WriteEntry> recorded(const QString& file) {
    record::Recorder r;
    EXPECT_EQ(r.open(file, false), record::OpenStatus::Opened) << r.problem().toStdString();
    return r.writes({}).value_or(std::vector<record::WriteEntry>{});
}

} // namespace

TEST(CliCommission, EightRoomsOnEightPorts_runAtOnceAndAreAllRecorded) {
    Sims sims(8);
    ASSERT_TRUE(sims.started);
    QTemporaryDir dir;
    QByteArray rooms = kHeader;
    for (int i = 0; i < 8; ++i)
        rooms +=
            roomRow(std::to_string(101 + i), sims.all[i]->portPath(), "0:none:a0 01;1:none:a0 02");
    const QString file = dir.filePath(QStringLiteral("rooms.csv"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(rooms);
    f.close();
    const QString recordFile = dir.filePath(QStringLiteral("record.db"));
    const QString csv = dir.filePath(QStringLiteral("report.csv"));

    const CommissionRun r = commission({file.toStdString(), "--json", "--record",
                                        recordFile.toStdString(), "--csv", csv.toStdString()});
    ASSERT_EQ(r.code, kOk) << r.err << r.out;

    // Every row began before the first one ended: the ports ran side by side.
    const auto events = r.events();
    std::size_t started = 0;
    bool doneSeen = false;
    int done = 0;
    for (const auto& e : events) {
        const QString kind = e.value(QStringLiteral("event")).toString();
        if (kind == QLatin1String("row") && !doneSeen)
            ++started;
        if (kind == QLatin1String("done")) {
            doneSeen = true;
            EXPECT_TRUE(e.value(QStringLiteral("ok")).toBool());
            ++done;
        }
    }
    EXPECT_EQ(started, 8u);
    EXPECT_EQ(done, 8);
    EXPECT_EQ(events.back().value(QStringLiteral("event")).toString(), QStringLiteral("summary"));
    EXPECT_EQ(events.back().value(QStringLiteral("done")).toInt(), 8);

    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(sims.count(i, "frame"), 2u) << i;
        EXPECT_EQ(sims.count(i, "room"), 1u) << i;
        ASSERT_EQ(sims.all[i]->cards().size(), 1u) << i;
    }
    const auto writes = recorded(recordFile);
    EXPECT_EQ(writes.size(), 24u);
    std::set<QString> roomNames;
    for (const auto& w : writes) {
        roomNames.insert(w.start.room);
        EXPECT_EQ(w.outcome, record::WriteOutcome::Completed);
        if (w.start.kind == record::WriteKind::Codes) {
            EXPECT_EQ(w.keys.size(), 2u);
        }
    }
    EXPECT_EQ(roomNames.size(), 8u);
    QFile report(csv);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_EQ(report.readAll().count("\r\n"), 1 + 8 * 2);
}

TEST(CliCommission, PulledAdapterOnOnePort_failsThatRowOnly) {
    Sims sims(3);
    ASSERT_TRUE(sims.started);
    QTemporaryDir dir;
    QByteArray rooms = kHeader;
    for (int i = 0; i < 3; ++i)
        rooms += roomRow("R" + std::to_string(i), sims.all[i]->portPath(),
                         "0:none:a0 01;1:none:a0 02;2:none:a0 03");
    const QString file = dir.filePath(QStringLiteral("rooms.csv"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(rooms);
    f.close();
    const QString recordFile = dir.filePath(QStringLiteral("record.db"));

    CommissionRun r;
    std::thread cli([&] {
        r = commission({file.toStdString(), "--json", "--record", recordFile.toStdString()});
    });
    // The adapter of the second port is pulled after its first frame.
    const bool frame = sims.all[1]->log().waitFor("frame", 10s).has_value();
    if (frame)
        sims.all[1]->unplug();
    cli.join();
    ASSERT_TRUE(frame);
    EXPECT_EQ(r.code, kFailed);

    std::map<QString, QJsonObject> doneByRoom;
    for (const auto& e : r.events()) {
        if (e.value(QStringLiteral("event")).toString() == QLatin1String("done"))
            doneByRoom[e.value(QStringLiteral("room")).toString()] = e;
    }
    ASSERT_EQ(doneByRoom.size(), 3u);
    EXPECT_TRUE(doneByRoom[QStringLiteral("R0")].value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(doneByRoom[QStringLiteral("R2")].value(QStringLiteral("ok")).toBool());
    const QJsonObject failed = doneByRoom[QStringLiteral("R1")];
    EXPECT_FALSE(failed.value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(
        failed.value(QStringLiteral("message")).toString().contains(QStringLiteral("已断开")))
        << failed.value(QStringLiteral("message")).toString().toStdString();
    EXPECT_EQ(sims.count(0, "frame"), 3u);
    EXPECT_EQ(sims.count(2, "frame"), 3u);

    // The record keeps the key that went out before the adapter was pulled.
    int r1Writes = 0;
    for (const auto& w : recorded(recordFile)) {
        if (w.start.room != QLatin1String("R1")) {
            EXPECT_EQ(w.outcome, record::WriteOutcome::Completed);
            continue;
        }
        ++r1Writes;
        EXPECT_EQ(w.start.kind, record::WriteKind::Codes);
        EXPECT_EQ(w.outcome, record::WriteOutcome::WriteFailed);
        ASSERT_GE(w.keys.size(), 1u);
        EXPECT_LT(w.keys.size(), 3u);
        EXPECT_EQ(w.keys[0].code, QStringLiteral("a0 01"));
    }
    EXPECT_EQ(r1Writes, 1); // its room parameters and card were not attempted
}

TEST(CliCommission, Pause_takesTheRowsOfOnePortOneAfterTheOther) {
    Sims sims(1);
    ASSERT_TRUE(sims.started);
    QTemporaryDir dir;
    const std::string port = sims.all[0]->portPath();
    const QByteArray rooms = QByteArray("room,port,edition,card\n") +
                             QByteArray::fromStdString("A," + port + ",2009,1\nB," + port +
                                                       ",2009,2\nC," + port + ",2009,3\n");
    const QString file = dir.filePath(QStringLiteral("rooms.csv"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(rooms);
    f.close();
    // Enter for the second controller, then "q": the third room is not done.
    const CommissionRun r = commission({file.toStdString(), "--pause", "--record",
                                        dir.filePath(QStringLiteral("r.db")).toStdString()},
                                       "\nq\n");
    EXPECT_EQ(r.code, kFailed);
    const auto cards = sims.all[0]->cards();
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_NE(r.out.find("第 3 行 房间 B 的中控接到"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("完成 2 个房间（共 3 个）"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("未完成：第 4 行 房间 C"), std::string::npos) << r.out;
}

TEST(CliCommission, Stop_endsEachPortAtItsNextPauseAndLeavesTheRowsNotBegunUndone) {
    Sims sims(1);
    ASSERT_TRUE(sims.started);
    QTemporaryDir dir;
    const std::string port = sims.all[0]->portPath();
    QByteArray rooms = kHeader;
    rooms += roomRow("A", port, "0:none:a0 01;1:none:a0 02;2:none:a0 03;3:none:a0 04");
    rooms += roomRow("B", port, "0:none:b0 01");
    const QString file = dir.filePath(QStringLiteral("rooms.csv"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(rooms);
    f.close();
    const QString recordFile = dir.filePath(QStringLiteral("record.db"));

    std::atomic<bool> stop{false};
    CommissionRun r;
    std::thread cli([&] {
        r = commission({file.toStdString(), "--json", "--record", recordFile.toStdString()}, {},
                       &stop);
    });
    // Stopped once the first frame of room A has arrived.
    const bool frame = sims.all[0]->log().waitFor("frame", 10s).has_value();
    stop = true;
    cli.join();
    ASSERT_TRUE(frame);
    EXPECT_EQ(r.code, kFailed);
    EXPECT_LT(sims.count(0, "frame"), 4u);
    EXPECT_EQ(sims.count(0, "room"), 0u);
    EXPECT_TRUE(sims.all[0]->cards().empty());

    std::map<QString, QJsonObject> doneByRoom;
    for (const auto& e : r.events()) {
        if (e.value(QStringLiteral("event")).toString() == QLatin1String("done"))
            doneByRoom[e.value(QStringLiteral("room")).toString()] = e;
    }
    ASSERT_EQ(doneByRoom.size(), 2u);
    EXPECT_FALSE(doneByRoom[QStringLiteral("A")].value(QStringLiteral("ok")).toBool());
    EXPECT_EQ(doneByRoom[QStringLiteral("B")].value(QStringLiteral("message")).toString(),
              QStringLiteral("已中断，未执行"));
    const auto writes = recorded(recordFile);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].start.room, QStringLiteral("A"));
    EXPECT_EQ(writes[0].outcome, record::WriteOutcome::Stopped);
    EXPECT_GE(writes[0].keys.size(), 1u);
}

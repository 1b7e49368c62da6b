// projector-cli keeping the commissioning record (write, room, card over the
// in-memory port in virtual time), the report command, and the checking of a
// rooms file before `commission` sends anything.
#include "cli/commission_plan.h"
#include "cli/record_commands.h"
#include "cli/report_output.h"
#include "cli_test_support.h"
#include "record/recorder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pj::cli;
using namespace pj::cli::testing;
using pj::link::Bytes;
using pj::link::FakeSerialPort;
namespace record = pj::record;

namespace {

QByteArray hashOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

std::string readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

class CliRecord : public ::testing::Test {
protected:
    CliRecord()
        : port(clock) {
        env.makePort = [this] { return std::make_unique<SharedPort>(port); };
        env.clock = &clock;
        env.listPorts = [](std::span<const std::string>) { return std::vector<std::string>{}; };
        env.stop = &stop;
        file = dir.filePath(QStringLiteral("record.db")).toStdString();
    }
    CliRun run(LinkCommandFn fn, std::vector<std::string> args) {
        return runCommand(fn, args, env);
    }
    std::vector<record::WriteEntry> recorded() {
        record::Recorder r;
        EXPECT_EQ(r.open(QString::fromStdString(file), false), record::OpenStatus::Opened);
        return r.writes({}).value_or(std::vector<record::WriteEntry>{});
    }
    std::vector<std::string> writeArgs(std::vector<std::string> more) {
        std::vector<std::string> a{"--port",           "/dev/ttyUSB0", "--edition", "2007",
                                   "--projector-baud", "9600",         "--record",  file};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }

    QTemporaryDir dir;
    std::string file;
    HookClock clock;
    FakeSerialPort port;
    LinkEnv env;
    std::atomic<bool> stop{false};
};

} // namespace

TEST_F(CliRecord, WriteWithEcho_recordsTheRoomTheKeysAndTheConfirmation) {
    // The controller echoes the second code once the tool listens: the port
    // opened again after the last frame. (This controller also talks at 9600
    // baud, so the speed alone does not tell; an echo before that open would be
    // purged with the line.)
    bool echoed = false;
    clock.onSleep = [&] {
        const auto events = port.events();
        if (!echoed && port.isOpen() && port.writes().size() == 4 && !events.empty() &&
            events.back().kind == pj::link::FakePortEvent::Kind::Open &&
            events.back().settings.baud == 9600) {
            echoed = true;
            port.receive(Bytes{0xa0, 0x02});
        }
    };
    const CliRun r = run(writeCommand, writeArgs({"--room", "101", "--code", "0:none:a0 01",
                                                  "--code", "1:odd:a0 02", "--wait-echo", "2"}));
    ASSERT_EQ(r.code, kOk) << r.err;
    const auto writes = recorded();
    ASSERT_EQ(writes.size(), 1u);
    const auto& w = writes[0];
    EXPECT_EQ(w.start.kind, record::WriteKind::Codes);
    EXPECT_EQ(w.start.room, QStringLiteral("101"));
    EXPECT_EQ(w.start.program, QStringLiteral("projector-cli"));
    EXPECT_EQ(w.start.controller.port, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(w.start.controller.edition, 2007);
    EXPECT_EQ(w.start.projectorBaud, 9600u);
    EXPECT_EQ(w.outcome, record::WriteOutcome::Completed);
    ASSERT_EQ(w.keys.size(), 2u);
    EXPECT_EQ(w.keys[0].outcome, record::KeyOutcome::Written);
    EXPECT_EQ(w.keys[1].outcome, record::KeyOutcome::Confirmed);
    EXPECT_EQ(w.keys[1].slot, 1);
    EXPECT_EQ(w.keys[1].parity, 1);
    EXPECT_EQ(w.keys[1].echoBytes, QStringLiteral("a0 02"));
}

TEST_F(CliRecord, RoomAndCard_recordTheBlockAndTheNumber) {
    ASSERT_EQ(run(roomCommand, {"--port", "/dev/ttyUSB0", "--edition", "2007", "--record", file,
                                "--room", "102", "--signal-source", "2", "--curtain", "9"})
                  .code,
              kOk);
    ASSERT_EQ(run(cardCommand, {"--port", "/dev/ttyUSB0", "--edition", "2007", "--record", file,
                                "--room", "102", "--number", "卡-7"})
                  .code,
              kOk);
    const auto writes = recorded();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].start.kind, record::WriteKind::Room);
    EXPECT_EQ(writes[0].start.roomBlock, QStringLiteral("01 02 01 01 09 00 00 00"));
    EXPECT_EQ(writes[1].start.kind, record::WriteKind::Card);
    EXPECT_EQ(writes[1].start.card, QStringLiteral("卡-7"));
    EXPECT_EQ(writes[1].outcome, record::WriteOutcome::Completed);
}

TEST_F(CliRecord, StoppedWrite_keepsTheKeysWrittenBeforeTheStop) {
    clock.onSleep = [this] {
        if (port.writes().size() >= 2)
            stop = true;
    };
    const CliRun r = run(writeCommand, writeArgs({"--code", "0:none:a0 01", "--code",
                                                  "1:none:a0 02", "--code", "2:none:a0 03"}));
    EXPECT_EQ(r.code, kFailed);
    const auto writes = recorded();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].outcome, record::WriteOutcome::Stopped);
    EXPECT_NE(writes[0].message.toStdString().find("已写入 1 个功能码（共 3 个）"),
              std::string::npos)
        << writes[0].message.toStdString();
    ASSERT_GE(writes[0].keys.size(), 1u);
    EXPECT_EQ(writes[0].keys[0].outcome, record::KeyOutcome::Written);
    for (std::size_t i = 1; i < writes[0].keys.size(); ++i)
        EXPECT_NE(writes[0].keys[i].outcome, record::KeyOutcome::Written);
}

TEST_F(CliRecord, PortThatCannotBeOpened_isRecordedAsSuch) {
    port.setDefaultOpenStatus(pj::link::PortOpenStatus::Unavailable);
    EXPECT_EQ(run(writeCommand, writeArgs({"--code", "0:none:01"})).code, kFailed);
    const auto writes = recorded();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].outcome, record::WriteOutcome::PortFailed);
    EXPECT_TRUE(writes[0].keys.empty());
}

TEST_F(CliRecord, DamagedRecord_warnsAndWritesWithoutIt_orRefusesWhenRequired) {
    const QString path = QString::fromStdString(file);
    writeFile(path, QByteArray(3000, 'x'));
    const QByteArray before = hashOf(path);

    const CliRun warned = run(writeCommand, writeArgs({"--code", "0:none:01"}));
    EXPECT_EQ(warned.code, kOk) << warned.err;
    EXPECT_NE(warned.err.find("已损坏"), std::string::npos) << warned.err;
    EXPECT_NE(warned.err.find("本次写入不记录"), std::string::npos) << warned.err;
    EXPECT_FALSE(port.writes().empty());
    EXPECT_EQ(hashOf(path), before);

    port.clearEvents();
    const CliRun refused =
        run(writeCommand, writeArgs({"--code", "0:none:01", "--require-record"}));
    EXPECT_EQ(refused.code, kFailed);
    EXPECT_NE(refused.err.find("未写入任何数据"), std::string::npos) << refused.err;
    EXPECT_TRUE(port.events().empty()); // the port was never opened
    EXPECT_EQ(hashOf(path), before);
}

TEST_F(CliRecord, RecordLocation_comesFromTheEnvironmentUnlessGiven) {
    const std::string beside = dir.filePath(QStringLiteral("beside.db")).toStdString();
    std::string askedFor = "unset";
    env.recordFile = [&](const std::string& catalogue) {
        askedFor = catalogue;
        return beside;
    };
    EXPECT_EQ(run(writeCommand, {"--port", "/dev/ttyUSB0", "--edition", "2007", "--projector-baud",
                                 "9600", "--code", "0:none:01"})
                  .code,
              kOk);
    EXPECT_EQ(askedFor, "");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(beside)));
    // Without the environment's rule and without --record, nothing is kept.
    env.recordFile = nullptr;
    const std::string other = dir.filePath(QStringLiteral("other.db")).toStdString();
    EXPECT_EQ(
        run(cardCommand, {"--port", "/dev/ttyUSB0", "--edition", "2007", "--number", "1"}).code,
        kOk);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(other)));
}

TEST_F(CliRecord, Report_writesHtmlCsvAndPdfForTheRoomsAskedFor) {
    ASSERT_EQ(run(writeCommand, writeArgs({"--room", "A1", "--code", "0:none:01"})).code, kOk);
    ASSERT_EQ(run(writeCommand, writeArgs({"--room", "B2", "--code", "3:none:02"})).code, kOk);
    const std::string html = dir.filePath(QStringLiteral("r.html")).toStdString();
    const std::string csv = dir.filePath(QStringLiteral("r.csv")).toStdString();
    const std::string pdf = dir.filePath(QStringLiteral("r.pdf")).toStdString();
    const CliRun r = run(reportCommand, {"--record", file, "--room", "B2", "--html", html, "--csv",
                                         csv, "--pdf", pdf});
    ASSERT_EQ(r.code, kOk) << r.err;
    const std::string page = readText(QString::fromStdString(html));
    EXPECT_NE(page.find("房间 B2</h2>"), std::string::npos);
    EXPECT_EQ(page.find("房间 A1</h2>"), std::string::npos);
    const std::string table = readText(QString::fromStdString(csv));
    EXPECT_NE(table.find("\r\nB2,/dev/ttyUSB0,2007,0,,,9600,3,VGA1,,02,written,"),
              std::string::npos)
        << table;
    EXPECT_EQ(readText(QString::fromStdString(pdf)).rfind("%PDF-", 0), 0u);
}

TEST_F(CliRecord, Report_refusesBadDatesAndMissingRecordsWithoutMakingOne) {
    const std::string html = dir.filePath(QStringLiteral("r.html")).toStdString();
    EXPECT_EQ(run(reportCommand, {"--record", file, "--since", "yesterday", "--html", html}).code,
              kUsage);
    EXPECT_EQ(run(reportCommand, {"--record", file}).code, kUsage);
    const CliRun missing = run(reportCommand, {"--record", file, "--html", html});
    EXPECT_EQ(missing.code, kFailed);
    EXPECT_NE(missing.err.find("没有调试记录文件"), std::string::npos) << missing.err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(html)));
}

TEST(CliRecordSince, DatesAndTimesAreLocal) {
    const auto day = parseSince("2026-12-01");
    ASSERT_TRUE(day);
    EXPECT_EQ(day->toLocalTime(), QDateTime(QDate(2026, 12, 1), QTime(0, 0)));
    const auto minute = parseSince("2026-12-01 08:30");
    ASSERT_TRUE(minute);
    EXPECT_EQ(minute->toLocalTime(), QDateTime(QDate(2026, 12, 1), QTime(8, 30)));
    EXPECT_TRUE(parseSince("2026-12-01T08:30:15"));
    EXPECT_FALSE(parseSince("2026-13-01"));
    EXPECT_FALSE(parseSince("1.12.2026"));
}

// ---- the rooms file -----------------------------------------------------------------

namespace {

// A catalogue holding "Maker" / "X1" (9600 baud, three keys).
ModelCodesLookup oneModel() {
    ModelCodesLookup m;
    m.load = [](const std::string& company, const std::string& model,
                std::string& error) -> std::optional<pj::link::SelectedModel> {
        if (company != "Maker" || model != "X1") {
            error = "目录中没有型号 " + company + " " + model;
            return std::nullopt;
        }
        pj::link::SelectedModel s;
        s.selectedBaud = 9600;
        for (int i = 0; i < 3; ++i) {
            pj::link::CodeListEntry e;
            e.name = "key" + std::to_string(i);
            e.codeText = "a0 0" + std::to_string(i);
            e.keyType = static_cast<std::uint32_t>(i);
            s.rows.push_back(e);
        }
        return s;
    };
    return m;
}

const QByteArray kHeader = "room,port,edition,machine_type,company,model,codes,keys,projector_baud,"
                           "signal_source,visualizer_type,card\n";

} // namespace

TEST(CommissionPlan, GoodFile_givesTheRowsGroupedByPort) {
    const CommissionPlan plan =
        readCommissionPlan(kHeader + "101,/dev/pj-a,2009,,Maker,X1,,\"0,2\",,,,A-101\n"
                                     "\n"
                                     "102,/dev/pj-b,21,1,,,0:none:01;3:even:02 03,,4800,2,0,\n"
                                     "103,/dev/pj-a,2007,,,,,,,1,,\n",
                           oneModel());
    ASSERT_TRUE(plan.errors.empty()) << plan.errors[0].reason;
    ASSERT_EQ(plan.rows.size(), 3u);
    const PlannedRow& a = plan.rows[0];
    EXPECT_EQ(a.line, 2);
    EXPECT_EQ(a.shell.editionCode, 2009);
    EXPECT_EQ(a.shell.controllerBaud, 19200);
    ASSERT_TRUE(a.codes);
    EXPECT_TRUE(a.codes->rows[0].selected);
    EXPECT_FALSE(a.codes->rows[1].selected);
    EXPECT_TRUE(a.codes->rows[2].selected);
    EXPECT_EQ(a.codes->selectedBaud, 9600u);
    EXPECT_FALSE(a.parameters);
    EXPECT_EQ(*a.card, "A-101");

    const PlannedRow& b = plan.rows[1];
    EXPECT_EQ(b.line, 4);
    EXPECT_EQ(b.shell.machineType, 1);
    EXPECT_EQ(b.shell.controllerBaud, 1200);
    ASSERT_TRUE(b.codes);
    EXPECT_EQ(b.codes->rows.size(), 2u);
    EXPECT_EQ(b.codes->rows[1].parity, 2u);
    EXPECT_EQ(b.codes->selectedBaud, 4800u);
    ASSERT_TRUE(b.parameters);
    EXPECT_EQ(b.parameters->signalSource, 2);
    EXPECT_EQ(b.parameters->visualizerType, 0);
    EXPECT_TRUE(b.parameters->networkMachine); // follows the machine type
    EXPECT_EQ(b.shell.visualizerNumber, 1);    // analog visualizer in the frames
    EXPECT_FALSE(b.card);

    EXPECT_FALSE(plan.rows[2].codes);
    EXPECT_TRUE(plan.rows[2].parameters);
    const auto groups = plan.byPort();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(groups[1], (std::vector<std::size_t>{1}));
}

TEST(CommissionPlan, InvalidRows_areEachNamedWithTheirLineAndReason) {
    const CommissionPlan plan = readCommissionPlan(
        kHeader + "201,/dev/pj-a,2009,,Maker,X9,,,,,,\n"       // unknown model
                  "202,/dev/pj-b,2009,,,,0:none:0g,,9600,,,\n" // bad code
                  "203,/dev/pj-c,2010,,,,0:none:01,,9600,,,\n" // unknown edition
                  "204,/dev/pj-d,2009,,Maker,X1,,7,,,,\n"      // no such key row
                  "205,/dev/pj-e,22,,,,0:none:01,,300,,,\n"    // speed group B lacks
                  "201,/dev/pj-f,2009,,,,,,,,,1\n"             // room named twice
                  "207,/dev/pj-g,2009,,,,,,,,,\n"              // nothing to write
                  "208,/dev/pj-h,2009,,,,,,,9,,\n"             // parameter out of range
                  "209,/dev/pj-i,2009\n"                       // fields missing
                  "210,/dev/pj-j,2009,,,,,,,,,\"a\x01\"\n"     // card with a control byte
                  "211,/dev/pj-k,2009,,,,,,,,,ok\n",           // the only good row
        oneModel());
    std::vector<int> lines;
    for (const auto& e : plan.errors)
        lines.push_back(e.line);
    EXPECT_EQ(lines, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_NE(plan.errors[0].reason.find("X9"), std::string::npos);
    EXPECT_NE(plan.errors[1].reason.find("0g"), std::string::npos);
    EXPECT_NE(plan.errors[2].reason.find("2010"), std::string::npos);
    EXPECT_NE(plan.errors[5].reason.find("第 2 行"), std::string::npos);
}

TEST(CommissionPlan, BadHeader_isRefusedOnItsFirstLine) {
    for (const QByteArray& file :
         {QByteArray("room,port\n101,/dev/x\n"), QByteArray("room,port,edition,colour\n"),
          QByteArray(), QByteArray("room,port,edition,room\n")}) {
        const CommissionPlan plan = readCommissionPlan(file, oneModel());
        ASSERT_FALSE(plan.errors.empty()) << file.toStdString();
        EXPECT_EQ(plan.errors[0].line, 1);
    }
}

TEST(CommissionPlan, TwoNamesOfOneDevice_runOneAfterTheOther) {
    EXPECT_EQ(portIdentity("com3"), "COM3");
#ifdef _WIN32
    // A COM port's name in any case (symbolic links need rights users lack).
    const QByteArray target = "COM3";
    const QByteArray link = "com3";
#else
    QTemporaryDir dir;
    const QString targetPath = dir.filePath(QStringLiteral("ttyFAKE"));
    writeFile(targetPath, "");
    const QString linkPath = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(targetPath, linkPath));
    EXPECT_EQ(portIdentity(linkPath.toStdString()), portIdentity(targetPath.toStdString()));
    const QByteArray target = targetPath.toUtf8();
    const QByteArray link = linkPath.toUtf8();
#endif
    const QByteArray file =
        kHeader + "1," + target + ",2009,,,,,,,1,,\n2," + link + ",2009,,,,,,,1,,\n";
    const CommissionPlan plan = readCommissionPlan(file, oneModel());
    ASSERT_TRUE(plan.errors.empty());
    EXPECT_EQ(plan.byPort().size(), 1u);
}

TEST_F(CliRecord, Commission_badFileSendsNothing) {
    const QString rooms = dir.filePath(QStringLiteral("rooms.csv"));
    writeFile(rooms, kHeader + "101,/dev/ttyUSB0,2009,,,,0:none:01,,9600,,,\n"
                               "102,/dev/ttyUSB1,2009,,,,0:none:zz,,9600,,,\n");
    std::ostringstream out, err;
    std::istringstream in;
    Io io{out, err, in};
    const int code = commissionCommand({rooms.toStdString(), "--record", file}, io, env);
    EXPECT_EQ(code, kFailed);
    EXPECT_NE(err.str().find("第 3 行"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("未写入任何数据"), std::string::npos) << err.str();
    EXPECT_TRUE(port.events().empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
}

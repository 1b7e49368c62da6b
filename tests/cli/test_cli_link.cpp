// projector-cli's controller commands over the in-memory port, in virtual time.
#include "../catalogue/catalogue_test_util.h"
#include "cli/args.h"
#include "cli_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>

using namespace pj::cli;
using namespace pj::cli::testing;
using pj::link::Bytes;
using pj::link::FakePortEvent;
using pj::link::FakeSerialPort;
using pj::link::PortOpenStatus;

namespace {

class CliLink : public ::testing::Test {
protected:
    CliLink()
        : port(clock) {
        env.makePort = [this] { return std::make_unique<SharedPort>(port); };
        env.clock = &clock;
        env.listPorts = [this](std::span<const std::string>) { return present; };
        env.stop = &stop;
    }
    CliRun run(LinkCommandFn fn, const std::vector<std::string>& args) {
        return runCommand(fn, args, env);
    }
    std::vector<Bytes> writes() const {
        std::vector<Bytes> out;
        for (const auto& w : port.writes())
            out.push_back(w.bytes);
        return out;
    }
    std::vector<FakePortEvent> opens() const {
        std::vector<FakePortEvent> out;
        for (const auto& e : port.events()) {
            if (e.kind == FakePortEvent::Kind::Open)
                out.push_back(e);
        }
        return out;
    }
    static int lineCount(const std::string& text) {
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    HookClock clock;
    FakeSerialPort port;
    LinkEnv env;
    std::atomic<bool> stop{false};
    std::vector<std::string> present{"/dev/ttyUSB0", "/dev/ttyUSB1"};
};

const std::vector<std::string> kWriteBase{"--port", "/dev/ttyUSB0",   "--edition",
                                          "21",     "--machine-type", "1"};

std::vector<std::string> with(std::vector<std::string> base, std::vector<std::string> more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

} // namespace

TEST_F(CliLink, UsageErrorsExitTwoWithOneReasonAndTouchNoPort) {
    const std::vector<std::pair<LinkCommandFn, std::vector<std::string>>> bad{
        {writeCommand, {"--edition", "21", "--projector-baud", "9600", "--code", "0:none:01"}},
        {writeCommand, with(kWriteBase, {"--projector-baud", "9600", "--code", "0-none-01"})},
        {writeCommand, with(kWriteBase, {"--projector-baud", "9600", "--code", "18:none:01"})},
        {writeCommand, with(kWriteBase, {"--projector-baud", "9600", "--code", "0:mark:01"})},
        {writeCommand, with(kWriteBase, {"--projector-baud", "9600", "--code", "0:none:0g"})},
        {writeCommand, with(kWriteBase, {"--projector-baud", "0", "--code", "0:none:01"})},
        {writeCommand, with(kWriteBase, {"--code", "0:none:01"})},      // no projector speed
        {writeCommand, with(kWriteBase, {"--projector-baud", "9600"})}, // no rows
        {writeCommand,
         with(kWriteBase, {"--projector-baud", "9600", "--code", "0:none:01", "--model", "X"})},
        {writeCommand, with(kWriteBase, {"--projector-baud", "9600", "--code", "0:none:01",
                                         "--wait-echo", "soon"})},
        {writeCommand,
         {"--port", "p", "--edition", "99", "--projector-baud", "9600", "--code", "0:none:01"}},
        {writeCommand,
         {"--port", "p", "--edition", "21", "--machine-type", "2", "--projector-baud", "9600",
          "--code", "0:none:01"}},
        {roomCommand, {"--port", "p", "--edition", "21", "--signal-source", "5"}},
        {roomCommand, {"--port", "p", "--edition", "21", "--off-delay", "300"}},
        {cardCommand, {"--port", "p", "--edition", "21"}},
        {monitorCommand, {"--port", "p", "--baud", "fast"}},
        {monitorCommand, {"--port", "p", "--baud", "9600", "--parity", "mark"}},
        {detectCommand, {"--port"}},
        {portsCommand, {"--verbose"}},
        {cardCommand, {"--port", "p", "--port", "q", "--edition", "21", "--number", "1"}},
    };
    for (const auto& [fn, args] : bad) {
        const CliRun r = run(fn, args);
        std::string joined;
        for (const auto& a : args)
            joined += a + ' ';
        EXPECT_EQ(r.code, kUsage) << joined;
        EXPECT_EQ(r.err.rfind("用法错误：", 0), 0u) << joined << r.err;
        EXPECT_EQ(lineCount(r.err), 2) << joined << r.err; // reason, then the usage line
        EXPECT_TRUE(r.out.empty()) << joined;
    }
    EXPECT_TRUE(port.events().empty());
}

TEST_F(CliLink, WriteSendsFramesInOrderAndListensWithTheLastParity) {
    const CliRun r = run(
        writeCommand, with(kWriteBase, {"--projector-baud", "19200", "--visualizer", "2", "--code",
                                        "3:odd:a0 01 0d", "--code", "4:even:50H 57H", "--json"}));
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(r.outLines(),
              (std::vector<std::string>{R"({"event":"written","row":0,"key":3,"code":"a0 01 0d"})",
                                        R"({"event":"written","row":1,"key":4,"code":"50 57"})",
                                        R"({"event":"listening","baud":19200,"parity":"even"})"}));
    const auto w = writes();
    ASSERT_EQ(w.size(), 4u);
    // Edition 21 network: header-first, reload 0xFE for 19200.
    EXPECT_EQ(w[0], (Bytes{0x3A, 0xFE, 0x03, 0x03, 0xA0}));
    EXPECT_EQ(w[1].size(), 62u);
    EXPECT_EQ(w[1][60], 1); // parity odd
    EXPECT_EQ(w[1][61], 2); // visualizer
    const auto o = opens();
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o[0].settings.baud, 19200u); // the listening line, tried first
    EXPECT_EQ(o[0].settings.parityCode, 2);
    EXPECT_EQ(o[1].settings.baud, 1200u); // the edition's programming speed
    EXPECT_EQ(o[2].settings.baud, 19200u);
    EXPECT_EQ(o[2].settings.parityCode, 2);
    EXPECT_FALSE(port.isOpen()); // the tool closes the port when it ends
}

TEST_F(CliLink, WriteRefusalsAndWarnings) {
    // Group B has no reload value for 300 baud: refused before the port opens.
    CliRun r = run(writeCommand, {"--port", "/dev/ttyUSB0", "--edition", "2007", "--projector-baud",
                                  "300", "--code", "0:none:01"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "该中控版本不支持波特率 300\n");
    EXPECT_TRUE(port.events().empty());

    // Group A at 57600: warned on stderr, then written with 0xFF.
    r = run(writeCommand, {"--port", "/dev/ttyUSB0", "--edition", "2009", "--projector-baud",
                           "57600", "--code", "0:none:01"});
    EXPECT_EQ(r.code, kOk);
    EXPECT_EQ(r.err.rfind("警告：", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("57600"), std::string::npos);
    ASSERT_FALSE(writes().empty());
    EXPECT_EQ(writes()[1][0], 0xFF);
    port.clearEvents();

    // A code over 61 bytes is refused for its row; the other row still goes.
    std::string longCode;
    for (int i = 0; i < 62; ++i)
        longCode += "11 ";
    r = run(writeCommand,
            with(kWriteBase, {"--projector-baud", "9600", "--code", "0:none:" + longCode, "--code",
                              "1:none:22", "--json"}));
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.outLines().at(0),
              R"({"event":"refused","row":0,"reason":"功能码过长（最多61字节）"})");
    EXPECT_EQ(r.outLines().at(1), R"({"event":"written","row":1,"key":1,"code":"22"})");
    EXPECT_EQ(writes().size(), 2u);
    port.clearEvents();

    // A port that cannot be opened: nothing is written, the reason names it.
    port.setOpenStatus("/dev/ttyUSB9", PortOpenStatus::Unavailable);
    r = run(writeCommand, {"--port", "/dev/ttyUSB9", "--edition", "31", "--projector-baud", "9600",
                           "--code", "0:none:01"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "无法打开串口 /dev/ttyUSB9\n");
    EXPECT_TRUE(writes().empty());
}

TEST_F(CliLink, WaitEchoConfirmsTheRowWhoseCodeComesBack) {
    bool sent = false;
    clock.onSleep = [&] {
        // Once the tool listens at the projector speed, the controller echoes row 1.
        if (sent)
            return;
        const auto o = opens();
        if (!o.empty() && o.back().settings.baud == 9600 && port.isOpen()) {
            sent = true;
            port.receive({0x50, 0x57, 0x52, 0x0D});
        }
    };
    const CliRun r =
        run(writeCommand, with(kWriteBase, {"--projector-baud", "9600", "--code", "0:none:a0 01 0d",
                                            "--code", "1:none:50 57 52 0d", "--wait-echo", "5"}));
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_NE(r.out.find("第 1 行已确认"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("未收到回码的行: 0"), std::string::npos) << r.out;
    EXPECT_TRUE(sent);
}

TEST_F(CliLink, RoomAndCardBytes) {
    CliRun r = run(roomCommand, {"--port", "p", "--edition", "2007", "--json"});
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(r.out,
              "{\"event\":\"room\",\"bytes\":\"01 00 01 01 05 00 00 00\",\"visualizer\":2}\n");
    EXPECT_EQ(writes(), (std::vector<Bytes>{{0x5A}, {1, 0, 1, 1, 5, 0, 0, 0}}));
    EXPECT_EQ(opens().at(1).settings.baud, 9600u); // after the listening line was tried
    port.clearEvents();

    r = run(roomCommand, {"--port",      "p",  "--edition",         "21", "--signal-source", "4",
                          "--off-delay", "10", "--visualizer-type", "0",  "--curtain",       "30",
                          "--alarm",     "0",  "--one-key",         "1",  "--door-open",     "1",
                          "--network",   "1"});
    EXPECT_EQ(r.code, kOk);
    EXPECT_EQ(writes().at(1), (Bytes{10, 4, 0, 0, 30, 1, 1, 1}));
    EXPECT_EQ(opens().at(1).settings.baud, 600u); // edition 21 standalone
    port.clearEvents();

    r = run(cardCommand, {"--port", "p", "--edition", "31", "--number", "12"});
    EXPECT_EQ(r.code, kOk);
    EXPECT_EQ(writes(), (std::vector<Bytes>{{0xCF, 0xBB, '1', '2', 0x02, 0x55}}));
    port.clearEvents();

    r = run(cardCommand, {"--port", "p", "--edition", "31", "--number", std::string(253, '9')});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "ID卡号过长（最多252字节）\n");
    EXPECT_TRUE(writes().empty());
}

TEST_F(CliLink, StopDuringAWrite_endsAtTheNextPauseSaysHowManyCodesWentOutAndExitsOne) {
    // The stop comes while the first frame is going out (between its chunks).
    clock.onSleep = [this] {
        if (!port.writes().empty())
            stop = true;
    };
    CliRun r =
        run(writeCommand, with(kWriteBase, {"--projector-baud", "19200", "--code", "0:none:a0 01",
                                            "--code", "1:none:a0 02", "--code", "2:none:a0 03"}));
    EXPECT_EQ(r.code, kFailed);
    EXPECT_NE(r.err.find("写码已停止：已写入 1 个功能码（共 3 个）"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "第 0 行已写入（键 0）: a0 01\n");
    // The frame begun was finished, nothing after it went out, and the port
    // was not reopened to listen.
    const auto w = writes();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[1].size(), 62u);
    EXPECT_EQ(opens().size(), 2u);
    EXPECT_FALSE(port.isOpen());
}

TEST_F(CliLink, CtrlCDuringAWrite_stopsItLikeAStopRequestAndLeavesTheSignalAsItWas) {
#ifdef _WIN32
    GTEST_SKIP() << "Ctrl+C reaches a Windows program through the console control handler, "
                    "not as a signal raised in the process";
#endif
    env.stop = nullptr; // the command takes SIGINT itself
    bool raised = false;
    clock.onSleep = [&] {
        if (!raised && !port.writes().empty()) {
            raised = true;
            std::raise(SIGINT);
        }
    };
    const auto before = std::signal(SIGINT, SIG_DFL);
    std::signal(SIGINT, before);
    const CliRun r =
        run(writeCommand, with(kWriteBase, {"--projector-baud", "19200", "--code", "0:none:a0 01",
                                            "--code", "1:none:a0 02"}));
    EXPECT_TRUE(raised);
    EXPECT_EQ(r.code, kFailed);
    EXPECT_NE(r.err.find("写码已停止：已写入 1 个功能码（共 2 个）"), std::string::npos) << r.err;
    EXPECT_EQ(writes().size(), 2u);
    EXPECT_EQ(std::signal(SIGINT, before), before);
}

TEST_F(CliLink, StopDuringRoomOrCard_keepsTheBlockWholeAndExitsOne) {
    clock.onSleep = [this] {
        if (!port.writes().empty())
            stop = true;
    };
    CliRun r = run(roomCommand, {"--port", "p", "--edition", "2007", "--json"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "房间参数写入已停止：参数已全部发出，未再监听回码\n");
    EXPECT_EQ(writes(), (std::vector<Bytes>{{0x5A}, {1, 0, 1, 1, 5, 0, 0, 0}}));
    EXPECT_EQ(opens().size(), 2u); // the listening line tried, the programming line; no reopen
    EXPECT_FALSE(port.isOpen());
    port.clearEvents();
    stop = false;

    r = run(cardCommand, {"--port", "p", "--edition", "31", "--number", "12"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "ID卡号写入已停止：卡号已全部发出，未等到结束\n");
    EXPECT_EQ(writes(), (std::vector<Bytes>{{0xCF, 0xBB, '1', '2', 0x02, 0x55}}));
    EXPECT_FALSE(port.isOpen());
}

TEST_F(CliLink, DetectReportsTheAnsweringPort) {
    port.setOpenStatus("/dev/ttyUSB0", PortOpenStatus::Unavailable);
    port.setResponder([](const FakePortEvent& w) -> std::optional<Bytes> {
        if (w.port == "/dev/ttyUSB1" && w.settings.baud == 9600 && w.bytes == Bytes{0xAA})
            return Bytes{0xAA, 0x07};
        return std::nullopt;
    });
    CliRun r = run(detectCommand, {"--json"});
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(r.out, "{\"port\":\"/dev/ttyUSB1\",\"edition\":2007,\"baud\":9600}\n");

    r = run(detectCommand, {"--port", "/dev/ttyUSB0"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err, "无法打开串口 /dev/ttyUSB0\n没有找到合适的中控（扫描了 1 个串口）\n");
}

TEST_F(CliLink, DetectSaysWhichPortsItCouldNotUseAndWhy) {
    port.setOpenStatus("/dev/ttyUSB0", PortOpenStatus::Busy);
    port.setOpenStatus("/dev/ttyUSB1", PortOpenStatus::PermissionDenied);
    const CliRun r = run(detectCommand, {"--json"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("串口 /dev/ttyUSB0 正被其他程序占用"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("没有权限打开串口 /dev/ttyUSB1"), std::string::npos) << r.err;
    EXPECT_EQ(lineCount(r.err), 3);
}

TEST_F(CliLink, MonitorShowsBlocksAsTheReceiveMonitorDoes) {
    bool sent = false;
    clock.onSleep = [&] {
        if (!sent && port.isOpen()) {
            sent = true;
            port.receive({0x41, 0x42, 0x00, 0x0D});
        }
    };
    CliRun r =
        run(monitorCommand, {"--port", "p", "--baud", "4800", "--parity", "odd", "--seconds", "2"});
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(r.out, "41 42 00 0d \n");
    EXPECT_EQ(opens().at(0).settings.parityCode, 1);

    sent = false;
    r = run(monitorCommand, {"--port", "p", "--baud", "4800", "--ascii", "--seconds", "1"});
    EXPECT_EQ(r.out, "AB\r \n");

    EXPECT_EQ(formatReceivedBlock(Bytes{0x05, 0xFF}, false), "05 ff ");
    EXPECT_EQ(formatReceivedBlock(Bytes{}, true), " ");

    port.setOpenStatus("gone", PortOpenStatus::Unavailable);
    r = run(monitorCommand, {"--port", "gone", "--baud", "4800", "--seconds", "1"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "无法打开串口 gone\n");
}

TEST_F(CliLink, PortsListsWhatIsPresent) {
    CliRun r = run(portsCommand, {});
    EXPECT_EQ(r.out, "/dev/ttyUSB0\n/dev/ttyUSB1\n");
    r = run(portsCommand, {"--json"});
    EXPECT_EQ(r.out, "{\"ports\":[\"/dev/ttyUSB0\",\"/dev/ttyUSB1\"]}\n");
    present.clear();
    r = run(portsCommand, {});
    EXPECT_EQ(r.code, kOk);
    EXPECT_TRUE(r.out.empty());
}

TEST(CliArgs, ValuesFlagsAndNumbers) {
    std::string error;
    const OptionSpec spec{{"--port"}, {"--code"}, {"--json"}};
    auto a = parseArgs({"--port=/dev/x", "--code", "a", "--code=b", "--json"}, spec, error);
    ASSERT_TRUE(a) << error;
    EXPECT_EQ(a->value("--port"), "/dev/x");
    EXPECT_EQ(a->values("--code"), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(a->has("--json"));
    EXPECT_FALSE(parseArgs({"--json=1"}, spec, error));
    EXPECT_FALSE(parseArgs({"stray"}, spec, error));
    EXPECT_EQ(parseInteger("17", 0, 17), 17);
    EXPECT_FALSE(parseInteger("18", 0, 17));
    EXPECT_FALSE(parseInteger("1x", 0, 17));
    EXPECT_FALSE(parseInteger("", 0, 17));
    EXPECT_FALSE(parseInteger("99999999999999999999", 0, 17));
    EXPECT_EQ(parseParity("even"), 2);
    EXPECT_EQ(parseParity("1"), 1);
    EXPECT_FALSE(parseParity("mark"));
}

// --- help and option wording ---------------------------------------------------

TEST_F(CliLink, SubcommandHelpPrintsItsUsageAndExitsZero) {
    const std::pair<LinkCommandFn, const char*> commands[] = {
        {portsCommand, "ports"}, {detectCommand, "detect"}, {writeCommand, "write"},
        {roomCommand, "room"},   {cardCommand, "card"},     {monitorCommand, "monitor"},
    };
    for (const auto& [fn, name] : commands) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--help"}, std::vector<std::string>{"-h"},
              std::vector<std::string>{"--port", "p", "--bogus", "--help"}}) {
            const CliRun r = run(fn, args);
            EXPECT_EQ(r.code, kOk) << name;
            EXPECT_EQ(r.out.rfind(std::string("用法: projector-cli ") + name + " ", 0), 0u)
                << r.out;
            EXPECT_EQ(lineCount(r.out), 1);
            EXPECT_TRUE(r.err.empty()) << r.err;
        }
    }
    EXPECT_TRUE(port.events().empty());

    std::ostringstream out, err;
    std::istringstream in;
    Io io{out, err, in};
    EXPECT_EQ(runCli({"write", "--help"}, io), kOk);
    EXPECT_EQ(runCli({"catalogue", "--help"}, io), kOk);
    EXPECT_EQ(runCli({"catalogue", "add-model", "--bogus", "--help"}, io), kOk);
    EXPECT_EQ(runCli({"catalogue", "lint", "--help"}, io), kOk);
    EXPECT_EQ(runCli({"send", "--help"}, io), kOk);
    EXPECT_TRUE(err.str().empty()) << err.str();
    EXPECT_EQ(lineCount(out.str()), 5);
    EXPECT_NE(out.str().find("用法: projector-cli send --port"), std::string::npos);
    EXPECT_NE(out.str().find("用法: projector-cli catalogue [--catalogue FILE]"),
              std::string::npos);
}

TEST_F(CliLink, UnknownOptionsAreWordedAlikeByEveryCommand) {
    const CliRun r = run(cardCommand, {"--bogus"});
    EXPECT_EQ(r.code, kUsage);
    EXPECT_EQ(r.err.rfind("用法错误：未知选项: --bogus\n", 0), 0u) << r.err;
    std::ostringstream out, err;
    std::istringstream in;
    Io io{out, err, in};
    EXPECT_EQ(runCli({"catalogue", "list", "--bogus"}, io), kUsage);
    EXPECT_EQ(err.str().rfind("用法错误：未知选项: --bogus\n", 0), 0u) << err.str();
}

// --- the listening line and a lost device ----------------------------------------

TEST_F(CliLink, AProjectorSpeedThePortCannotListenAtExitsTwoAndWritesNothing) {
    port.refuseSpeed(14400);
    CliRun r = run(writeCommand, {"--port", "/dev/ttyUSB0", "--edition", "2009", "--projector-baud",
                                  "14400", "--code", "0:none:01"});
    EXPECT_EQ(r.code, kUsage);
    EXPECT_NE(r.err.find("串口 /dev/ttyUSB0 无法以投影机的波特率 14400 接收回码，未写入任何数据\n"),
              std::string::npos)
        << r.err;
    r = run(roomCommand,
            {"--port", "/dev/ttyUSB0", "--edition", "2007", "--projector-baud", "14400"});
    EXPECT_EQ(r.code, kUsage);
    EXPECT_TRUE(writes().empty());

    r = run(roomCommand, {"--port", "/dev/ttyUSB0", "--edition", "2007", "--projector-baud", "0"});
    EXPECT_EQ(r.code, kUsage);
    EXPECT_EQ(r.err.rfind("用法错误：波特率无效: 0", 0), 0u) << r.err;
    EXPECT_TRUE(writes().empty());

    // The window's room write listens at the model's speed; so does the tool's.
    r = run(roomCommand,
            {"--port", "/dev/ttyUSB0", "--edition", "2007", "--projector-baud", "4800"});
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(opens().back().settings.baud, 4800u);
}

TEST_F(CliLink, APulledAdapterAfterTheLastFrameFailsTheWriteAndTheRoomWrite) {
    const std::vector<std::vector<std::string>> commands{
        with(kWriteBase, {"--projector-baud", "9600", "--code", "0:none:01"}),
        with(kWriteBase, {"--projector-baud", "9600", "--code", "0:none:01", "--wait-echo", "2"}),
        {"--port", "/dev/ttyUSB0", "--edition", "2007"},
    };
    for (std::size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(i);
        port.replug();
        port.clearEvents();
        clock.onSleep = [this] {
            if (writes().size() == 2) // the whole frame, or the mark and the block
                port.unplug();
        };
        const CliRun r = run(i < 2 ? writeCommand : roomCommand, commands[i]);
        clock.onSleep = nullptr;
        EXPECT_EQ(r.code, kFailed) << r.out << r.err;
        EXPECT_NE(r.err.find("/dev/ttyUSB0"), std::string::npos) << r.err;
        EXPECT_EQ(writes().size(), 2u);
    }
}

// --- rows from the catalogue ------------------------------------------------------

TEST_F(CliLink, CatalogueRowsNoFrameCanCarryAreNamedAndASpeedOfZeroWritesNothing) {
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("projector.mdb")).toStdString();
    std::ostringstream out, err;
    std::istringstream in;
    Io io{out, err, in};
    auto catalogue = [&](std::vector<std::string> words) {
        words.insert(words.begin(), {"catalogue", "--catalogue", file});
        return runCli(words, io);
    };
    ASSERT_EQ(catalogue({"init"}), kOk) << err.str();
    ASSERT_EQ(catalogue({"add-company", "Acme"}), kOk) << err.str();
    ASSERT_EQ(catalogue({"add-model", "Acme", "P1", "--baud", "9600", "--key", "开机:0:a0 01",
                         "--key", "关机:1:a0 02"}),
              kOk)
        << err.str();
    {
        // Rows the catalogue's own input would refuse, as an old file may hold them.
        pj::catalogue::test::RawDb raw(QString::fromStdString(file));
        raw.exec(QStringLiteral("UPDATE FUNKEY SET TYPE = 256 WHERE FUNCODE = 'a0 01'"));
    }
    const std::vector<std::string> fromCatalogue{
        "--port", "/dev/ttyUSB0", "--edition", "2007",    "--catalogue",
        file,     "--company",    "Acme",      "--model", "P1"};
    CliRun r = run(writeCommand, fromCatalogue);
    EXPECT_EQ(r.code, kFailed);
    EXPECT_NE(r.err.find("第 0 行（开机）未写入: 键位 256 无效（应为 0 到 17）"), std::string::npos)
        << r.err;
    ASSERT_EQ(writes().size(), 2u); // only the other row's frame
    EXPECT_EQ(writes()[1][2], 1);   // its key slot, 1
    port.clearEvents();

    {
        pj::catalogue::test::RawDb raw(QString::fromStdString(file));
        raw.exec(QStringLiteral("UPDATE MACHINE SET BAUD = 0"));
    }
    r = run(writeCommand, fromCatalogue);
    EXPECT_EQ(r.code, kUsage);
    EXPECT_NE(r.err.find("投影机波特率无效（0），未写入任何数据"), std::string::npos) << r.err;
    EXPECT_TRUE(port.events().empty());
}

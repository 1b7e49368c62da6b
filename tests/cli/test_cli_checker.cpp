// projector-cli catalogue lint and send, in-process: the delivered catalogue
// lints clean, a catalogue with broken codes lists each with its fix and exits
// 1, and send reports the answer, the silence or the port plainly.
#include "cli/send_command.h"
#include "cli_test_support.h"
#include "codecheck/load.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace pj::cli;
using namespace pj::cli::testing;

namespace {

CliRun cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    std::istringstream in;
    Io io{out, err, in};
    CliRun r;
    r.code = runCli(args, io);
    r.out = out.str();
    r.err = err.str();
    return r;
}

class Lint : public ::testing::Test {
protected:
    void SetUp() override {
        qunsetenv("PROJECTOR_CATALOGUE");
        qunsetenv(pj::codecheck::kRulesEnv);
        file_ = dir_.filePath(QStringLiteral("projector.mdb")).toStdString();
        ok({"init"});
        ok({"add-company", "爱普生 Epson"});
        ok({"add-model", "爱普生 Epson", "EB-1", "--baud", "9600", "--ascii", "--key",
            "开机:0:PWR ON", "--key", "关机:1:PWR OFF"});
        ok({"add-company", "卡西欧 Casio"});
        ok({"add-model", "卡西欧 Casio", "XJ-A", "--baud", "19200", "--ascii", "--key",
            "开机:0:(PWR1)"});
        ok({"add-company", "NEC"});
        ok({"add-model", "NEC", "P1", "--baud", "38400", "--key", "开机:0:02 00 00 00 00 03",
            "--key", "视频:2:02 03 00 00 02 01 06"});
        ok({"add-company", "无名厂"});
        ok({"add-model", "无名厂", "M", "--baud", "9600", "--key", "开机:0:01"});
    }
    void TearDown() override { qunsetenv(pj::codecheck::kRulesEnv); }

    void ok(std::vector<std::string> words) {
        words.insert(words.begin(), {"catalogue", "--catalogue", file_});
        const CliRun r = cli(words);
        ASSERT_EQ(r.code, kOk) << r.err;
    }
    CliRun lint(std::vector<std::string> words = {}) {
        std::vector<std::string> args{"catalogue", "--catalogue", file_, "lint"};
        args.insert(args.end(), words.begin(), words.end());
        return cli(args);
    }

    QTemporaryDir dir_;
    std::string file_;
};

TEST(LintDelivered, DeliveredCatalogue_LintsClean) {
    qunsetenv("PROJECTOR_CATALOGUE");
    const CliRun r = cli({"catalogue", "--catalogue", PJ_DELIVERED_CATALOGUE, "lint"});
    EXPECT_EQ(r.code, kOk) << r.out << r.err;
    EXPECT_EQ(r.out, "检查了 32 个型号的 216 个功能码，都符合厂家的规则\n");
    EXPECT_TRUE(r.err.empty());
}

TEST_F(Lint, BrokenCodes_AreListedWithTheirFixAndExitOne) {
    const CliRun r = lint();
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.out,
              "卡西欧 Casio / XJ-A / 开机（开机1）: \"(PWR1)\"（28 50 57 52 31 29 0d）\n"
              "    多余的结束符 0d（ASCII码 会在末尾自动加 0d；请关闭 ASCII码，按十六进制输入）\n"
              "    改为（关闭 ASCII码）: 28 50 57 52 31 29\n"
              "NEC / P1 / 开机（开机1）: 02 00 00 00 00 03\n"
              "    校验和应为 02（现为 03）\n"
              "    改为: 02 00 00 00 00 02\n"
              "NEC / P1 / 视频（视频1）: 02 03 00 00 02 01 06\n"
              "    长度应为 8 字节（第 5 字节的数据长度为 02），现为 7 字节\n"
              "未检查（没有适用的规则）: 无名厂，1 个型号\n");
    EXPECT_EQ(r.err, "错误：3 个功能码不符合厂家的规则（共检查 5 个）\n");
}

TEST_F(Lint, CompanyAndModel_NarrowTheCheck) {
    CliRun r = lint({"爱普生 Epson"});
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(r.out, "检查了 1 个型号的 2 个功能码，都符合厂家的规则\n");
    r = lint({"NEC", "P1"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "错误：2 个功能码不符合厂家的规则（共检查 2 个）\n");
    r = lint({"索尼 Sony"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    r = lint({"NEC", "P9"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(Lint, Json_HoldsEveryFindingAndFix) {
    const CliRun r = cli({"catalogue", "--json", "--catalogue", file_, "lint"});
    EXPECT_EQ(r.code, kFailed);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_FALSE(o.value(QStringLiteral("ok")).toBool());
    EXPECT_EQ(o.value(QStringLiteral("codes")).toInt(), 5);
    EXPECT_EQ(o.value(QStringLiteral("models")).toInt(), 3);
    const QJsonArray problems = o.value(QStringLiteral("problems")).toArray();
    ASSERT_EQ(problems.size(), 3);
    const QJsonObject nec = problems[1].toObject();
    EXPECT_EQ(nec.value(QStringLiteral("maker")).toString(), QStringLiteral("NEC"));
    EXPECT_EQ(nec.value(QStringLiteral("code")).toString(), QStringLiteral("02 00 00 00 00 03"));
    const QJsonObject finding = nec.value(QStringLiteral("findings")).toArray()[0].toObject();
    EXPECT_EQ(finding.value(QStringLiteral("kind")).toString(), QStringLiteral("checksum"));
    EXPECT_EQ(finding.value(QStringLiteral("rule")).toString(), QStringLiteral("nec-binary"));
    EXPECT_EQ(nec.value(QStringLiteral("fix")).toObject().value(QStringLiteral("code")).toString(),
              QStringLiteral("02 00 00 00 00 02"));
    EXPECT_FALSE(problems[2].toObject().contains(QStringLiteral("fix")));
    const QJsonArray unchecked = o.value(QStringLiteral("unchecked")).toArray();
    ASSERT_EQ(unchecked.size(), 1);
    EXPECT_EQ(unchecked[0].toObject().value(QStringLiteral("company")).toString(),
              QStringLiteral("无名厂"));
}

TEST_F(Lint, RulesFileFromTheCommandLineOrTheEnvironment_IsUsed) {
    const std::string rules = dir_.filePath(QStringLiteral("my.rules")).toStdString();
    std::ofstream(rules) << "company 无名厂 = Nameless\n"
                            "rule nameless\n  what 两个字节\n  makers Nameless\n  length 2\n";
    CliRun r = cli({"catalogue", "--catalogue", file_, "--rules", rules, "lint", "无名厂"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.out, "无名厂 / M / 开机（开机1）: 01\n    长度应为 2 字节（现为 1 字节）\n");
    qputenv(pj::codecheck::kRulesEnv, QByteArray::fromStdString(rules));
    r = lint({"无名厂"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "错误：1 个功能码不符合厂家的规则（共检查 1 个）\n");
}

TEST_F(Lint, FaultyRulesFile_IsRefusedWithItsLines) {
    const std::string rules = dir_.filePath(QStringLiteral("bad.rules")).toStdString();
    std::ofstream(rules) << "rule x\n  what y\n  makers Z\n  length many\n";
    const CliRun r = cli({"catalogue", "--catalogue", file_, "--rules", rules, "lint"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.err, "错误：" + rules + ":4: length 的写法是 N、N..M、N.. 或 ..M\n");
    EXPECT_TRUE(r.out.empty());
}

TEST_F(Lint, WrongCommandLine_ExitsTwo) {
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"catalogue", "--catalogue", file_, "lint", "a", "b", "c"},
             {"catalogue", "--catalogue", file_, "--baud", "lint"},
             {"catalogue", "--rules"},
         }) {
        const CliRun r = cli(words);
        EXPECT_EQ(r.code, kUsage) << words.back() << r.err;
    }
    // The catalogue's own subcommands are not taken for lint.
    EXPECT_EQ(cli({"catalogue", "--catalogue", file_, "list"}).code, kOk);
}

TEST(LintCatalogue, MissingCatalogue_IsAOneLineError) {
    qunsetenv("PROJECTOR_CATALOGUE");
    const CliRun r = cli({"catalogue", "--catalogue", "/nonexistent/p.mdb", "lint"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// ---- send ------------------------------------------------------------------------

struct FakeEnv {
    HookClock clock;
    pj::link::FakeSerialPort port{clock};
    std::atomic<bool> stop{false};
    LinkEnv env;
    FakeEnv() {
        env.makePort = [this] { return std::make_unique<SharedPort>(port); };
        env.clock = &clock;
        env.listPorts = [](std::span<const std::string>) { return std::vector<std::string>{}; };
        env.stop = &stop;
    }
    CliRun send(const std::vector<std::string>& args) { return runCommand(sendCommand, args, env); }
};

TEST(Send, Answer_IsShownInHexAndTextWithTheFirstByteTime) {
    FakeEnv f;
    f.port.setResponder([](const pj::link::FakePortEvent&) {
        return std::optional<pj::link::Bytes>(
            pj::link::Bytes{'P', 'W', 'R', '=', '0', '1', 0x0d, ':'});
    });
    const CliRun r = f.send({"--port", "/dev/ttyS9", "--baud", "9600", "--parity", "even", "--code",
                             "50 57 52 3f 0d", "--wait", "300"});
    EXPECT_EQ(r.code, kOk) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "已发送到 /dev/ttyS9（9600 波特，偶校验）: 50 57 52 3f 0d");
    EXPECT_EQ(lines[1].rfind("应答（首字节在发送后 ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "  十六进制: 50 57 52 3d 30 31 0d 3a");
    EXPECT_EQ(lines[3], "  文本: PWR=01\\r:");
    EXPECT_TRUE(r.err.empty());
    const auto writes = f.port.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].settings.parityCode, 2);
    EXPECT_EQ(writes[0].settings.baud, 9600u);
}

TEST(Send, NoAnswer_IsSaidPlainlyAndExitsOne) {
    FakeEnv f;
    const CliRun r = f.send({"--port", "/dev/ttyS9", "--baud", "38400", "--code",
                             "02 00 00 00 00 02", "--wait", "250"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_EQ(r.out, "已发送到 /dev/ttyS9（38400 波特，无校验）: 02 00 00 00 00 02\n");
    EXPECT_EQ(r.err, "投影机在 250 毫秒内没有应答\n");
}

TEST(Send, PortThatCannotBeOpened_IsSaidPlainly) {
    FakeEnv f;
    f.port.setDefaultOpenStatus(pj::link::PortOpenStatus::Unavailable);
    const CliRun r = f.send({"--port", "/dev/ttyS9", "--baud", "9600", "--code", "01"});
    EXPECT_EQ(r.code, kFailed);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err, "无法打开串口 /dev/ttyS9\n");
}

TEST(Send, Json_CarriesTheOutcomeAndEveryBlock) {
    FakeEnv f;
    f.port.setResponder([](const pj::link::FakePortEvent&) {
        return std::optional<pj::link::Bytes>(pj::link::Bytes{0x3a});
    });
    const CliRun r = f.send({"--port", "/dev/ttyS9", "--baud", "9600", "--code", "0d", "--json"});
    EXPECT_EQ(r.code, kOk) << r.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));
    EXPECT_EQ(o.value(QStringLiteral("bytes")).toString(), QStringLiteral("3a"));
    EXPECT_EQ(o.value(QStringLiteral("text")).toString(), QStringLiteral(":"));
    EXPECT_EQ(o.value(QStringLiteral("parity")).toString(), QStringLiteral("none"));
    EXPECT_EQ(o.value(QStringLiteral("wait_ms")).toInt(), 1000);
    EXPECT_TRUE(o.contains(QStringLiteral("first_byte_ms")));
    EXPECT_EQ(o.value(QStringLiteral("blocks")).toArray().size(), 1);
}

TEST(Send, WrongCommandLine_ExitsTwoWithoutTouchingThePort) {
    FakeEnv f;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--baud", "9600", "--code", "01"},
             {"--port", "p", "--code", "01"},
             {"--port", "p", "--baud", "fast", "--code", "01"},
             {"--port", "p", "--baud", "0", "--code", "01"},
             {"--port", "p", "--baud", "9600"},
             {"--port", "p", "--baud", "9600", "--code", "5g"},
             {"--port", "p", "--baud", "9600", "--code", ""},
             {"--port", "p", "--baud", "9600", "--code", "01", "--parity", "mark"},
             {"--port", "p", "--baud", "9600", "--code", "01", "--wait", "-1"},
             {"--port", "p", "--baud", "9600", "--code", "01", "--wait", "600001"},
             {"--port", "p", "--baud", "9600", "--code", "01", "extra"},
         }) {
        const CliRun r = f.send(args);
        EXPECT_EQ(r.code, kUsage) << r.err;
    }
    EXPECT_TRUE(f.port.events().empty());
}

TEST(Send, IsListedInTheUsage) {
    const CliRun r = cli({"--help"});
    EXPECT_NE(r.out.find("projector-cli send --port PORT --baud N"), std::string::npos);
    EXPECT_NE(r.out.find("lint [COMPANY [MODEL]]"), std::string::npos);
}

} // namespace

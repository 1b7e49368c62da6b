// The rules file: a new maker is a few lines of data, a model can follow
// another rule than its maker, company names without a Latin name are mapped
// in the data, and a faulty file is refused with every error and its line.

#include "codecheck/checker.h"
#include "codecheck/load.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace pj::codecheck {
namespace {

Checker fromText(const std::string& text) {
    LoadedRules loaded = parseRulesText(text, "test.rules");
    EXPECT_TRUE(loaded.ok()) << (loaded.errors.empty() ? "" : loaded.errors.front());
    return Checker(loaded.rules);
}

std::vector<std::string> errorsOf(const std::string& text) {
    const LoadedRules loaded = parseRulesText(text, "test.rules");
    EXPECT_FALSE(loaded.ok());
    return loaded.errors;
}

std::string messages(const CodeReport& r) {
    std::string out;
    for (const auto& f : r.findings)
        out += (out.empty() ? "" : " | ") + f.message;
    return out;
}

const char kAcme[] = R"(
# A maker added in a few lines.
company 埃克米 = Acme

rule acme-binary
  what    ACME：aa、两个数据字节、校验和
  makers  Acme
  length  4
  start   aa
  checksum sum8 of 0..2 at 3

rule acme-old
  what    ACME 旧型号：文字命令，以 ETX 结尾
  model   Acme: X-1*
  text    printable
  terminator etx
)";

TEST(RulesFile, NewMakerInAFewLines_IsChecked) {
    const Checker c = fromText(kAcme);
    EXPECT_TRUE(c.check("埃克米 Acme", "Z-9", {"aa 01 02 ad", false}).ok());
    const CodeReport r = c.check("Acme", "Z-9", {"aa 01 02 ac", false});
    EXPECT_EQ(messages(r), "校验和应为 ad（现为 ac）");
    ASSERT_TRUE(r.fix);
    EXPECT_EQ(r.fix->text, "aa 01 02 ad");
}

TEST(RulesFile, ModelNamedInARule_FollowsItInsteadOfItsMakers) {
    const Checker c = fromText(kAcme);
    const CodeReport r = c.check("埃克米", "x-100 pro", {"PWR", true});
    EXPECT_EQ(r.rules, std::vector<std::string>{"acme-old"});
    EXPECT_EQ(
        messages(r),
        "结束符应为 03，不是 0d（ASCII码 会在末尾自动加 0d；请关闭 ASCII码，按十六进制输入）");
    ASSERT_TRUE(r.fix);
    EXPECT_EQ(*r.fix, (TypedCode{"50 57 52 03", false}));
    EXPECT_EQ(c.check("Acme", "Y-100", {"PWR", true}).rules,
              std::vector<std::string>{"acme-binary"});
}

TEST(RulesFile, RuleWithoutChecks_LetsAModelPassUnchecked) {
    const Checker c = fromText(std::string(kAcme) + R"(
rule acme-free
  what  不检查（协议未收录）
  model Acme: Q?
)");
    const CodeReport r = c.check("Acme", "Q7", {"01", false});
    EXPECT_TRUE(r.checked());
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(c.check("Acme", "Q77", {"01", false}).ok()); // '?' is one character
}

TEST(RulesFile, EveryCheckKind_IsReadFromItsLine) {
    const Checker c = fromText(R"(
rule all
  what  everything
  makers Full
  length 7..9
  length-field 1 + 5
  start 10|11
  end 20
  at 3 30
  terminator crlf
  checksum crc16-modbus of 0..2 at 4 low-first
)");
    const Rule* r = c.rules().find("all");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->length->min, 7u);
    EXPECT_EQ(*r->length->max, 9u);
    EXPECT_EQ(r->lengthField->at, 1);
    EXPECT_EQ(r->lengthField->extra, 5u);
    EXPECT_EQ(r->start.size(), 1u);
    EXPECT_EQ(r->start[0].values, (std::vector<std::uint8_t>{0x10, 0x11}));
    EXPECT_EQ(r->terminator->endings, std::vector<Bytes>{Bytes({0x0d, 0x0a})});
    EXPECT_FALSE(r->checksums[0].highFirst);
    // 11 02 00 30, the CRC of the first three bytes low byte first, 20, CR LF.
    const Bytes head{0x11, 0x02, 0x00};
    const std::uint16_t crc = crc16Modbus(head);
    Bytes code = head;
    code.push_back(0x30);
    code.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    code.push_back(static_cast<std::uint8_t>(crc >> 8));
    code.push_back(0x20);
    code.push_back(0x0d);
    code.push_back(0x0a);
    // 9 bytes, the length field says 2 + 5 = 7: only that is wrong.
    EXPECT_EQ(messages(c.checkBytes(c.rulesFor("Full", "m"), code, false)),
              "长度应为 7 字节（第 2 字节的数据长度为 02），现为 9 字节");
    code[1] = 0x04;
    const std::uint16_t crc2 = crc16Modbus(Bytes{0x11, 0x04, 0x00});
    code[4] = static_cast<std::uint8_t>(crc2 & 0xFF);
    code[5] = static_cast<std::uint8_t>(crc2 >> 8);
    EXPECT_TRUE(c.checkBytes(c.rulesFor("Full", "m"), code, false).ok());
}

TEST(RulesFile, OpenLengthRanges_AreToldAsLimits) {
    const Checker c = fromText(R"(
rule short
  what at most three
  makers Short
  length ..3
rule long
  what at least three
  makers Long
  length 3..
)");
    EXPECT_EQ(messages(c.check("Short", "m", {"01 02 03 04", false})),
              "长度最多 3 字节（现为 4 字节）");
    EXPECT_EQ(messages(c.check("Long", "m", {"01 02", false})),
              "长度至少应为 3 字节（现为 2 字节）");
}

TEST(RulesFile, FaultyLines_AreAllToldWithTheirLineNumbers) {
    const auto errors = errorsOf(R"(makers Early
company no mapping here
rule a
  what x
  makers A
  colour blue
  start zz
  length 5..2
  checksum md5 of 0..1 at 2
  pattern [unclosed
rule a
  what again
  makers B
rule b
  pattern x+
  model nocolon
  terminator cr|tab
)");
    const std::vector<std::string> want = {
        "test.rules:1: 未知的关键字 makers（规则的各项应写在 rule 行之后）",
        "test.rules:2: company 的写法是 company 公司名 = 厂家拉丁名",
        "test.rules:6: 未知的规则项 colour",
        "test.rules:7: start 应是十六进制字节（多选用 | 分隔），如 a9 或 21|3f 89 01",
        "test.rules:8: length 的写法是 N、N..M、N.. 或 ..M",
        "test.rules:9: checksum 的写法是 checksum sum8|or8|crc16-modbus of 起..止 at 位置 "
        "[high-first|low-first]",
        "test.rules:10: pattern 不是有效的正则表达式：[unclosed",
        "test.rules:11: 规则名 a 重复",
        "test.rules:16: model 的写法是 model 厂家拉丁名: 型号",
        "test.rules:17: terminator 只能是 cr、lf、crlf、etx、nul（多选用 | 分隔）或 none",
        "test.rules:14: 规则 b 没有 makers 或 model，不适用于任何型号",
        "test.rules:14: 规则 b 有 pattern，还需要 form 向用户说明格式",
        "test.rules:14: 规则 b 缺少 what",
    };
    EXPECT_EQ(errors, want);
}

TEST(ModelNames, GlobMatching_IgnoresCaseAndCountsCharacters) {
    EXPECT_TRUE(matchesModel("LV-S4", "lv-s4"));
    EXPECT_TRUE(matchesModel("LV-*", "LV-X310ST"));
    EXPECT_TRUE(matchesModel("*ST", "LV-X310ST"));
    EXPECT_TRUE(matchesModel("EB系列 ?电脑*", "EB系列 双电脑双HDMI"));
    EXPECT_TRUE(matchesModel("*", ""));
    EXPECT_FALSE(matchesModel("LV-S4", "LV-S40"));
    EXPECT_FALSE(matchesModel("LV-?", "LV-S4"));
    EXPECT_TRUE(matchesModel("a*b*c", "aXXbYYbc"));
}

// ---- where the rules come from ----------------------------------------------------------

void setEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

// A new, empty folder under the system's temporary folder.
std::filesystem::path makeTempDir() {
    std::random_device rd;
    for (;;) {
        const auto dir = std::filesystem::temp_directory_path() /
                         ("pj-rules-" + std::to_string(rd()) + std::to_string(rd()));
        if (std::filesystem::create_directory(dir))
            return dir;
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RulesSource : public ::testing::Test {
protected:
    void SetUp() override { setEnv(kRulesEnv, ""); }
    void TearDown() override { setEnv(kRulesEnv, ""); }
};

TEST_F(RulesSource, DeliveredRules_AreTheResourcesFileCompiledIn) {
    EXPECT_EQ(deliveredRulesText(), readFile(PJ_RULES_FILE));
    const LoadedRules loaded = loadRules();
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.source, kDeliveredRulesName);
    EXPECT_EQ(loaded.rules->rules().size(), 19u);
}

TEST_F(RulesSource, EnvironmentNamesAnotherFile_AndAFileNamedByTheCallerWins) {
    const std::filesystem::path dir = makeTempDir();
    const std::string a = (dir / "a.rules").string(), b = (dir / "b.rules").string();
    std::ofstream(a) << kAcme;
    std::ofstream(b) << "rule only\n  what x\n  makers B\n";
    setEnv(kRulesEnv, a);
    EXPECT_EQ(loadRules().source, a);
    EXPECT_NE(loadRules().rules->find("acme-old"), nullptr);
    EXPECT_EQ(loadRules(b).source, b);
    setEnv(kRulesEnv, "");
    EXPECT_EQ(loadRules().source, kDeliveredRulesName);
    std::filesystem::remove_all(dir);
}

TEST_F(RulesSource, MissingOrFaultyFile_GivesNoRulesAndSaysWhy) {
    const LoadedRules missing = loadRules("/nonexistent/dir/rules.txt");
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.errors,
              std::vector<std::string>{"无法读取规则文件 /nonexistent/dir/rules.txt"});
    const LoadedRules faulty = parseRulesText("rule x\n  what y\n  makers Z\n  length -1\n", "f");
    EXPECT_FALSE(faulty.ok());
    EXPECT_EQ(faulty.errors.size(), 1u);
}

TEST_F(RulesSource, AFileNamedInChinese_IsReadOnEveryPlatform) {
    // File names come as UTF-8 (the command line on Windows included).
    const std::filesystem::path dir = makeTempDir();
    const std::string name = "\xE8\xA7\x84\xE5\x88\x99.rules"; // 规则.rules
    const std::u8string u8(name.begin(), name.end());
    std::ofstream(dir / std::filesystem::path(u8)) << kAcme;
    const std::u8string dirU8 = dir.u8string();
    const std::string path = std::string(dirU8.begin(), dirU8.end()) + "/" + name;
    const LoadedRules loaded = loadRules(path);
    EXPECT_TRUE(loaded.ok()) << (loaded.errors.empty() ? "" : loaded.errors[0]);
    EXPECT_EQ(loaded.source, path);
    std::filesystem::remove_all(dir);
}

TEST_F(RulesSource, CheckerWithoutRules_ChecksNothing) {
    const Checker c(nullptr);
    EXPECT_FALSE(c.check("NEC", "P474W", {"02", false}).checked());
}

} // namespace
} // namespace pj::codecheck

// The delivered framing rules, maker by maker: the worked examples the makers
// publish keep their rule; one corrupted byte per maker is caught, told in the
// user's words and, where the checker can tell, corrected.

#include "codecheck/checker.h"
#include "codecheck/load.h"

#include <gtest/gtest.h>

#include <set>

namespace pj::codecheck {
namespace {

const Checker& delivered() {
    static const Checker checker = [] {
        LoadedRules loaded = loadRules(PJ_RULES_FILE);
        EXPECT_TRUE(loaded.ok()) << (loaded.errors.empty() ? "" : loaded.errors.front());
        return Checker(loaded.rules);
    }();
    return checker;
}

CodeReport hex(const char* company, const char* model, const char* code) {
    return delivered().check(company, model, {code, false});
}

std::string messages(const CodeReport& r) {
    std::string out;
    for (const auto& f : r.findings)
        out += (out.empty() ? "" : " | ") + f.message;
    return out;
}

// ---- algorithms ---------------------------------------------------------------

TEST(Checksums, Crc16Modbus_GivesTheStandardCheckValue) {
    const std::string text = "123456789";
    const Bytes b(text.begin(), text.end());
    EXPECT_EQ(crc16Modbus(b), 0x4B37);
}

TEST(Checksums, PublishedValues_AreReproduced) {
    // NEC manual: 20h 81h 01h 60h 01h 00h sums to 103h, checksum 03h.
    EXPECT_EQ(sum8(Bytes{0x20, 0x81, 0x01, 0x60, 0x01, 0x00}), 0x03);
    // Sony: 00|20|00|00|03 = 23h.
    EXPECT_EQ(or8(Bytes{0x00, 0x20, 0x00, 0x00, 0x03}), 0x23);
    // Hitachi power on: CRC over the frame with its CRC bytes zeroed is BAD2h.
    EXPECT_EQ(crc16Modbus(Bytes{0xbe, 0xef, 0x03, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x60,
                                0x01, 0x00}),
              0xBAD2);
    // Dell power on: C6FFh.
    EXPECT_EQ(
        crc16Modbus(Bytes{0xbe, 0xef, 0x10, 0x05, 0x00, 0x00, 0x00, 0x11, 0x11, 0x01, 0x00, 0x01}),
        0xC6FF);
}

// ---- the published examples ----------------------------------------------------

struct Example {
    const char* company; // as the catalogue names it
    const char* model;
    const char* code;
};

// One worked example per maker (and per Canon protocol), as the makers'
// manuals print them.
const Example kPublished[] = {
    {"爱普生 Epson", "EB系列", "50 57 52 20 4F 4E 0D"},
    {"NEC", "P474W/P474U/P554W/P554U", "02 00 00 00 00 02"},
    {"NEC", "P474W/P474U/P554W/P554U", "20 81 01 60 01 00 03"},
    {"松下 Panasonic", "PT-LB51S", "02 50 4F 4E 03"},
    {"松下 Panasonic", "PT-LB51S", "02 49 49 53 3A 56 49 44 03"},
    {"索尼 Sony", "VPL-VW85", "A9 00 20 00 00 03 23 9A"},
    {"索尼 Sony", "VPL-VW85", "A9 19 6E 00 00 00 7F 9A"},
    {"明基 BenQ", "MX854UST", "0D 2A 70 6F 77 3D 6F 6E 23 0D"},
    {"奥图码 Optoma", "X515ST", "7E 30 30 30 30 20 31 0D"},
    {"日立 Hitachi", "CP-X253", "BE EF 03 06 00 BA D2 01 00 00 60 01 00"},
    {"三洋 Sanyo", "PLC-WM5500", "43 30 30 0D"},
    {"三菱 Mitsubishi", "XL30U", "30 30 21 0D"},
    {"佳能 Canon", "LV-S4", "43 30 30 0D"},
    {"佳能 Canon", "LV-WX300UST", "7E 50 4E 0D"},
    {"佳能 Canon", "LV-X310ST", "50 4F 57 45 52 3D 4F 4E 0D"},
    {"夏普 Sharp", "PG-C45S", "50 4F 57 52 20 20 20 31 0D"},
    {"卡西欧 Casio", "XJ-M150", "28 50 57 52 31 29"},
    {"富可视 InFocus", "IN2134", "28 50 57 52 31 29"},
    {"富可视 InFocus", "IN2136", "28 50 57 52 31 21 29"},
    {"丽讯 Vivitek", "D863", "7E 50 4E 0D"},
    {"戴尔 Dell", "1201MP", "BE EF 10 05 00 C6 FF 11 11 01 00 01"},
    {"优派 ViewSonic", "LS620X", "06 14 00 04 00 34 11 00 00 5D"},
    {"宏碁 Acer", "P1500", "2A 20 30 20 49 52 20 30 30 31 0D"},
    {"科视 Christie", "LX45", "43 30 30 0D"},
    {"杰伟世 JVC", "DLA-RS10", "21 89 01 50 57 31 0A"},
    {"理光 Ricoh", "PJ WX3231N", "02 50 4F 4E 03"},
    {"东芝 Toshiba", "TDP-EW25", "02 50 4F 4E 03"},
};

TEST(MakerRules, PublishedExamples_KeepTheirMakersRule) {
    for (const auto& e : kPublished) {
        const CodeReport r = hex(e.company, e.model, e.code);
        EXPECT_TRUE(r.checked()) << e.company << " " << e.model;
        EXPECT_TRUE(r.ok()) << e.company << " " << e.code << ": " << messages(r);
        EXPECT_FALSE(r.fix) << e.company;
    }
}

// ---- one corrupted byte per maker ------------------------------------------------

struct Corruption {
    const char* company;
    const char* model;
    const char* code;    // a published code with one byte changed, dropped or added
    const char* message; // every finding, joined by " | "
    const char* fix;     // the corrected code, nullptr when none can be told
};

const Corruption kCorrupted[] = {
    {"爱普生 Epson", "EB系列", "50 57 52 20 4f 4e", "缺少结束符 0d", "50 57 52 20 4f 4e 0d"},
    {"NEC", "P474W", "02 00 00 00 00 03", "校验和应为 02（现为 03）", "02 00 00 00 00 02"},
    {"NEC", "P474W", "02 03 00 00 02 01 06",
     "长度应为 8 字节（第 5 字节的数据长度为 02），现为 7 字节", nullptr},
    {"松下 Panasonic", "PT-LB51S", "02 50 4f 4e 0d", "结束符应为 03，不是 0d", "02 50 4f 4e 03"},
    {"索尼 Sony", "VPL-VW85", "a9 00 20 00 00 03 22 9a", "校验和应为 23（现为 22）",
     "a9 00 20 00 00 03 23 9a"},
    {"索尼 Sony", "VPL-VW85", "a9 00 20 00 00 03 23",
     "长度应为 8 字节（现为 7 字节） | 应以 9a 结尾", "a9 00 20 00 00 03 23 9a"},
    {"明基 BenQ", "MX854UST", "0d 2a 70 6f 77 3d 6f 6e 23", "缺少结束符 0d",
     "0d 2a 70 6f 77 3d 6f 6e 23 0d"},
    {"明基 BenQ", "MX854UST", "2a 70 6f 77 3d 6f 6e 23 0d", "应以 0d 2a 开头",
     "0d 2a 70 6f 77 3d 6f 6e 23 0d"},
    {"奥图码 Optoma", "X515ST", "7e 30 30 30 30 20 31 0a", "结束符应为 0d，不是 0a",
     "7e 30 30 30 30 20 31 0d"},
    {"日立 Hitachi", "CP-X253", "be ef 03 06 00 ba d3 01 00 00 60 01 00",
     "CRC 应为 ba d2（第 6–7 字节，现为 ba d3）", "be ef 03 06 00 ba d2 01 00 00 60 01 00"},
    {"日立 Hitachi", "CP-X253", "be ef 03 06 00 ba d2 03 00 00 60 01 00",
     "第 8 字节应为 01、02、04、05 或 06（现为 03） | CRC 应为 58 d3（第 6–7 字节，现为 ba d2）",
     nullptr},
    {"三洋 Sanyo", "PLC-WM5500", "43 30 30", "缺少结束符 0d | 长度应为 4 字节（现为 3 字节）",
     "43 30 30 0d"},
    {"三菱 Mitsubishi", "XL30U", "30 30 21 0a", "结束符应为 0d，不是 0a", "30 30 21 0d"},
    {"佳能 Canon", "LV-S4", "43 30 67 0d", "命令格式不符：应为 C 加两位命令码", nullptr},
    {"佳能 Canon", "LV-WX300UST", "50 4e 0d", "应以 7e 开头", "7e 50 4e 0d"},
    {"佳能 Canon", "LV-X310ST", "50 4f 57 45 52 3d 4f 4e", "缺少结束符 0d、0a、0d 0a 或 00",
     "50 4f 57 45 52 3d 4f 4e 0d"},
    {"夏普 Sharp", "PG-C45S", "50 4f 57 52 20 20 31 0d", "长度应为 9 字节（现为 8 字节）", nullptr},
    {"卡西欧 Casio", "XJ-M150", "28 50 57 52 31 29 0d", "多余的结束符 0d", "28 50 57 52 31 29"},
    {"富可视 InFocus", "IN2134", "28 50 57 52 31 0a", "多余的结束符 0a | 应以 29 结尾",
     "28 50 57 52 31 29"},
    {"丽讯 Vivitek", "D863", "7e 50 4e 0d 0d", "第 4 字节 0d 不是可打印字符", nullptr},
    {"戴尔 Dell", "1201MP", "be ef 10 05 01 c6 ff 11 11 01 00 01", "应以 be ef 10 05 00 开头",
     "be ef 10 05 00 c6 ff 11 11 01 00 01"},
    {"戴尔 Dell", "1201MP", "be ef 10 05 00 c6 ff 11 11 01 01 01",
     "第 8–11 字节应为 11 11 01 00（现为 11 11 01 01） | CRC 应为 56 fe（第 6–7 字节，现为 c6 ff）",
     "be ef 10 05 00 c6 ff 11 11 01 00 01"},
    {"优派 ViewSonic", "LS620X", "06 14 00 04 00 34 11 00 00 5e", "校验和应为 5d（现为 5e）",
     "06 14 00 04 00 34 11 00 00 5d"},
    {"优派 ViewSonic", "LS620X", "06 14 00 05 00 34 11 00 00 5d",
     "长度应为 11 字节（第 4–5 字节的数据长度为 05 00），现为 10 字节", nullptr},
    {"宏碁 Acer", "P1500", "2a 20 30 20 49 52 20 30 30 0d", "命令格式不符：应为 * 0 IR 三位数字",
     nullptr},
    {"科视 Christie", "LX45", "43 30 30 0a", "结束符应为 0d，不是 0a", "43 30 30 0d"},
    {"杰伟世 JVC", "DLA-RS10", "21 89 01 50 57 31", "缺少结束符 0a", "21 89 01 50 57 31 0a"},
    {"杰伟世 JVC", "DLA-RS10", "21 89 01 50 57 31 0d", "缺少结束符 0a", nullptr},
    {"杰伟世 JVC", "DLA-RS10", "21 89 01 50 0a 31 0a",
     "第 5 字节 0a 是结束符，投影机会在此截断命令", nullptr},
    {"理光 Ricoh", "PJ WX3231N", "02 70 4f 4e 03", "命令格式不符：应为 三个大写字母或数字",
     nullptr},
    {"东芝 Toshiba", "TDP-EW25", "03 50 4f 4e 03", "应以 02 开头", "02 50 4f 4e 03"},
};

TEST(MakerRules, CorruptedByte_IsToldAndCorrectedWhereItCanBe) {
    for (const auto& c : kCorrupted) {
        const CodeReport r = hex(c.company, c.model, c.code);
        EXPECT_FALSE(r.ok()) << c.company << " " << c.code;
        EXPECT_EQ(messages(r), c.message) << c.company << " " << c.code;
        if (c.fix) {
            ASSERT_TRUE(r.fix) << c.company << " " << c.code;
            EXPECT_EQ(r.fix->text, c.fix) << c.company << " " << c.code;
            EXPECT_FALSE(r.fix->ascii);
            EXPECT_TRUE(hex(c.company, c.model, r.fix->text.c_str()).ok());
        } else {
            EXPECT_FALSE(r.fix) << c.company << " " << c.code << " -> " << r.fix->text;
        }
    }
}

TEST(MakerRules, EveryMakerHasACorruptionCaught) {
    std::set<std::string> makers;
    for (const auto& c : kCorrupted)
        makers.insert(delivered().makerOf(c.company));
    for (const auto& e : kPublished)
        EXPECT_EQ(makers.count(delivered().makerOf(e.company)), 1u) << e.company;
}

// ---- ASCII codes --------------------------------------------------------------------

TEST(AsciiCodes, EpsonText_GetsItsCarriageReturnFromTheSwitch) {
    const CodeReport r = delivered().check("爱普生 Epson", "EB-X41", {"PWR ON", true});
    EXPECT_TRUE(r.checked());
    EXPECT_TRUE(r.ok()) << messages(r);
}

TEST(AsciiCodes, CasioAndInFocusText_AreToldToDropTheSwitch) {
    for (const char* company : {"卡西欧 Casio", "富可视 InFocus"}) {
        const CodeReport r = delivered().check(company, "any", {"(PWR1)", true});
        ASSERT_EQ(r.findings.size(), 1u) << company;
        EXPECT_EQ(r.findings[0].kind, CheckKind::Terminator);
        EXPECT_EQ(r.findings[0].message,
                  "多余的结束符 0d（ASCII码 会在末尾自动加 0d；请关闭 ASCII码，按十六进制输入）");
        ASSERT_TRUE(r.fix);
        EXPECT_EQ(*r.fix, (TypedCode{"28 50 57 52 31 29", false}));
    }
}

TEST(AsciiCodes, FixThatStillEndsInCarriageReturn_StaysText) {
    // Optoma wants "~" first; the fix is typed as text again.
    const CodeReport r = delivered().check("奥图码 Optoma", "X515ST", {"0000 1", true});
    EXPECT_EQ(messages(r), "应以 7e 开头");
    ASSERT_TRUE(r.fix);
    EXPECT_EQ(*r.fix, (TypedCode{"~0000 1", true}));
}

TEST(AsciiCodes, PanasonicText_NeedsItsBracketsInHex) {
    const CodeReport r = delivered().check("松下 Panasonic", "PT-LB51S", {"PON", true});
    EXPECT_EQ(
        messages(r),
        "结束符应为 03，不是 0d（ASCII码 会在末尾自动加 0d；请关闭 ASCII码，按十六进制输入） | "
        "应以 02 开头");
    ASSERT_TRUE(r.fix);
    EXPECT_EQ(*r.fix, (TypedCode{"02 50 4f 4e 03", false}));
}

TEST(AsciiCodes, SharpTextOfWrongLength_HasNoFix) {
    const CodeReport r = delivered().check("夏普 Sharp", "PG-C45S", {"POWR  1", true});
    EXPECT_EQ(messages(r), "长度应为 9 字节（现为 8 字节）");
    EXPECT_FALSE(r.fix);
}

// ---- makers, models and input -----------------------------------------------------------

TEST(CompanyNames, LatinNameComesFromTheCatalogueNameOrTheRulesData) {
    const Checker& c = delivered();
    EXPECT_EQ(c.makerOf("爱普生 Epson"), "Epson");
    EXPECT_EQ(c.makerOf("NEC"), "NEC");
    EXPECT_EQ(c.makerOf("EPSON"), "Epson");           // spelt as the rules spell it
    EXPECT_EQ(c.makerOf("爱普生"), "Epson");          // no Latin name: the rules file maps it
    EXPECT_EQ(c.makerOf("  爱普生　中国 "), "Epson"); // one word of the name
    EXPECT_EQ(c.makerOf("Seiko Epson"), "Seiko Epson");
    EXPECT_EQ(c.makerOf("未知厂家"), "");
}

TEST(CompanyNames, UnknownMakerOrUnlistedCanonModel_IsNotChecked) {
    for (const auto& [company, model] :
         {std::pair{"未知厂家", "X1"}, std::pair{"佳能 Canon", "LV-7490"},
          std::pair{"Seiko Epson", "EB-1"}}) {
        const CodeReport r = hex(company, model, "01 02 03");
        EXPECT_FALSE(r.checked()) << company;
        EXPECT_TRUE(r.ok());
    }
}

TEST(CompanyNames, LatinNameGivenByTheCaller_WorksLikeTheCatalogueName) {
    EXPECT_EQ(messages(hex("Casio", "XJ-M150", "28 50 57 52 31 29 0d")), "多余的结束符 0d");
    EXPECT_EQ(hex("canon", "lv-s4", "43 30 30 0d").rules, std::vector<std::string>{"sanyo-c"});
}

TEST(CodeText, TextThatIsNoCode_IsAFormatError) {
    for (const char* text : {"5g", "0", "a0 1", "a 0"}) {
        const CodeReport r = hex("NEC", "P474W", text);
        ASSERT_EQ(r.findings.size(), 1u) << text;
        EXPECT_EQ(r.findings[0].kind, CheckKind::Format);
        EXPECT_EQ(r.findings[0].message, "功能码格式错误");
        EXPECT_FALSE(r.fix);
    }
}

TEST(CodeText, EmptyCode_IsTold) {
    EXPECT_EQ(messages(hex("NEC", "P474W", "")), "功能码为空");
    EXPECT_EQ(messages(hex("NEC", "P474W", "   ")), "功能码为空");
}

TEST(CodeText, SeparatorsAndCase_DoNotMatter) {
    EXPECT_TRUE(hex("NEC", "P474W", "020000000002").ok());
    EXPECT_TRUE(hex("NEC", "P474W", "02H00H00H00H00H02").ok());
    EXPECT_TRUE(hex("日立 Hitachi", "CP-X253", "BE EF 03 06 00 BA D2 01 00 00 60 01 00").ok());
}

TEST(CodeText, ChecksumIsNotJudgedWhenTheLengthIsWrong) {
    const CodeReport r = hex("索尼 Sony", "VPL", "a9 00 20 00 00 03 99 9a 00");
    ASSERT_EQ(r.findings.size(), 2u) << messages(r);
    EXPECT_EQ(r.findings[0].kind, CheckKind::Length);
    EXPECT_EQ(r.findings[1].kind, CheckKind::End);
}

TEST(CodeText, NecShorterThanItsHeader_SaysTheLeastLength) {
    EXPECT_EQ(messages(hex("NEC", "P474W", "02 00 00")), "长度至少应为 6 字节（现为 3 字节）");
}

} // namespace
} // namespace pj::codecheck

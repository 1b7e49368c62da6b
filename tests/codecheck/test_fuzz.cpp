// Random damage to every maker's published code, many thousand times: the
// checker never fails to answer, a damaged code is never called good unless it
// keeps the rule, and every corrected code it offers keeps every rule.

#include "codecheck/checker.h"
#include "codecheck/load.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace pj::codecheck {
namespace {

struct Sample {
    const char* company;
    const char* model;
    Bytes code;
};

std::vector<Sample> samples() {
    return {
        {"Epson", "EB", {0x50, 0x57, 0x52, 0x20, 0x4f, 0x4e, 0x0d}},
        {"NEC", "P474W", {0x02, 0x03, 0x00, 0x00, 0x02, 0x01, 0x06, 0x0e}},
        {"Panasonic", "PT", {0x02, 0x49, 0x49, 0x53, 0x3a, 0x56, 0x49, 0x44, 0x03}},
        {"Sony", "VPL", {0xa9, 0x00, 0x20, 0x00, 0x00, 0x03, 0x23, 0x9a}},
        {"BenQ", "MX", {0x0d, 0x2a, 0x70, 0x6f, 0x77, 0x3d, 0x6f, 0x6e, 0x23, 0x0d}},
        {"Optoma", "X", {0x7e, 0x30, 0x30, 0x30, 0x30, 0x20, 0x31, 0x0d}},
        {"Hitachi",
         "CP",
         {0xbe, 0xef, 0x03, 0x06, 0x00, 0xba, 0xd2, 0x01, 0x00, 0x00, 0x60, 0x01, 0x00}},
        {"Sanyo", "PLC", {0x43, 0x30, 0x30, 0x0d}},
        {"Mitsubishi", "XL", {0x30, 0x30, 0x21, 0x0d}},
        {"Canon", "LV-X310ST", {0x50, 0x4f, 0x57, 0x45, 0x52, 0x3d, 0x4f, 0x4e, 0x0d}},
        {"Canon", "LV-WX300UST", {0x7e, 0x50, 0x4e, 0x0d}},
        {"Sharp", "PG", {0x50, 0x4f, 0x57, 0x52, 0x20, 0x20, 0x20, 0x31, 0x0d}},
        {"Casio", "XJ", {0x28, 0x50, 0x57, 0x52, 0x31, 0x29}},
        {"InFocus", "IN", {0x28, 0x50, 0x57, 0x52, 0x31, 0x21, 0x29}},
        {"Dell",
         "1201MP",
         {0xbe, 0xef, 0x10, 0x05, 0x00, 0xc6, 0xff, 0x11, 0x11, 0x01, 0x00, 0x01}},
        {"ViewSonic", "LS", {0x06, 0x14, 0x00, 0x04, 0x00, 0x34, 0x11, 0x00, 0x00, 0x5d}},
        {"Acer", "P1500", {0x2a, 0x20, 0x30, 0x20, 0x49, 0x52, 0x20, 0x30, 0x30, 0x31, 0x0d}},
        {"JVC", "DLA", {0x21, 0x89, 0x01, 0x50, 0x57, 0x31, 0x0a}},
        {"Toshiba", "TDP", {0x02, 0x50, 0x4f, 0x4e, 0x03}},
    };
}

Bytes damage(Bytes code, std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 3), byte(0, 255);
    const int times = 1 + static_cast<int>(rng() % 2);
    for (int t = 0; t < times; ++t) {
        const std::size_t at = code.empty() ? 0 : rng() % (code.size() + 1);
        switch (kind(rng)) {
        case 0: // a byte changed
            if (!code.empty())
                code[at % code.size()] = static_cast<std::uint8_t>(byte(rng));
            break;
        case 1: // a byte dropped
            if (!code.empty())
                code.erase(code.begin() + static_cast<long>(at % code.size()));
            break;
        case 2: // a byte added
            code.insert(code.begin() + static_cast<long>(at), static_cast<std::uint8_t>(byte(rng)));
            break;
        default: // one bit flipped
            if (!code.empty())
                code[at % code.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
    }
    return code;
}

TEST(CheckerFuzz, DamagedCodes_AreJudgedAndEveryFixKeepsTheRules) {
    const Checker checker(loadRules(PJ_RULES_FILE).rules);
    std::mt19937 rng(20261207);
    std::size_t found = 0, fixed = 0, total = 0;
    for (const Sample& s : samples()) {
        const auto rules = checker.rulesFor(checker.makerOf(s.company), s.model);
        ASSERT_FALSE(rules.empty()) << s.company;
        for (int i = 0; i < 3000; ++i) {
            const Bytes code = damage(s.code, rng);
            const bool ascii = (rng() % 4) == 0 && !code.empty() && code.back() == 0x0d;
            const CodeReport r = checker.checkBytes(rules, code, ascii);
            ++total;
            bool keeps = true;
            for (const Rule* rule : rules)
                keeps = keeps && checkRule(*rule, code).empty();
            EXPECT_EQ(r.ok(), keeps);
            if (r.ok())
                continue;
            ++found;
            for (const auto& f : r.findings)
                EXPECT_FALSE(f.message.empty());
            if (!r.fixedBytes)
                continue;
            ++fixed;
            ASSERT_TRUE(r.fix);
            for (const Rule* rule : rules)
                EXPECT_TRUE(checkRule(*rule, *r.fixedBytes).empty())
                    << s.company << ": " << r.fix->text;
            // The fix as the editor would type it gives the same bytes.
            EXPECT_EQ(typedCodeBytes(*r.fix), r.fixedBytes) << s.company << ": " << r.fix->text;
        }
    }
    // Most damage is caught, and a good share of it can be put right.
    std::printf("%zu damaged codes, %zu found, %zu with a fix\n", total, found, fixed);
    EXPECT_GT(found, total * 8 / 10);
    EXPECT_GT(fixed, found / 5);
}

TEST(CheckerFuzz, RandomBytesForEveryRule_NeverBreakTheChecker) {
    const Checker checker(loadRules(PJ_RULES_FILE).rules);
    std::mt19937 rng(7);
    for (const Rule& rule : checker.rules().rules()) {
        const std::vector<const Rule*> rules{&rule};
        for (int i = 0; i < 500; ++i) {
            Bytes code(rng() % 20);
            for (auto& b : code)
                b = static_cast<std::uint8_t>(rng());
            const CodeReport r = checker.checkBytes(rules, code, false);
            if (r.fixedBytes) {
                EXPECT_TRUE(checkRule(rule, *r.fixedBytes).empty()) << rule.name;
            }
        }
    }
}

} // namespace
} // namespace pj::codecheck

// The delivered catalogue's research data against the delivered rules: every
// company has its maker, every model a rule, every shipped code and every
// research row keeps its rule.

#include "codecheck/lint.h"
#include "codecheck/load.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

namespace pj::codecheck {
namespace {

using Row = std::map<std::string, std::string>;

// RFC 4180: quoted fields may hold commas, doubled quotes and line breaks.
std::vector<Row> readCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_FALSE(text.empty()) << path;
    std::vector<std::vector<std::string>> records(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().push_back(std::move(field));
            field.clear();
        } else if (c == '\n') {
            records.back().push_back(std::move(field));
            field.clear();
            records.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!field.empty() || !records.back().empty())
        records.back().push_back(std::move(field));
    if (records.back().empty())
        records.pop_back();
    std::vector<Row> rows;
    for (std::size_t r = 1; r < records.size(); ++r) {
        EXPECT_EQ(records[r].size(), records[0].size()) << path << " record " << r;
        Row row;
        for (std::size_t k = 0; k < records[0].size() && k < records[r].size(); ++k)
            row[records[0][k]] = records[r][k];
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::string kDir = PJ_CATALOGUE_DATA_DIR;

Checker deliveredChecker() {
    return Checker(loadRules(PJ_RULES_FILE).rules);
}

std::vector<LintModel> deliveredModels() {
    std::map<std::string, bool> ascii;
    std::vector<LintModel> models;
    for (const Row& m : readCsv(kDir + "/models.csv")) {
        models.push_back({m.at("company"), m.at("model"), {}});
        ascii[m.at("company") + "\n" + m.at("model")] = m.at("ascii") == "1";
    }
    for (const Row& k : readCsv(kDir + "/keys.csv")) {
        for (LintModel& m : models) {
            if (m.company == k.at("company") && m.model == k.at("model"))
                m.keys.push_back({k.at("function"), std::stoi(k.at("slot")), k.at("code"),
                                  ascii.at(m.company + "\n" + m.model)});
        }
    }
    return models;
}

TEST(DeliveredData, EveryCompanyHasItsMakerAndEveryModelARule) {
    const Checker c = deliveredChecker();
    const auto models = deliveredModels();
    ASSERT_EQ(models.size(), 32u);
    for (const LintModel& m : models) {
        const std::string maker = c.makerOf(m.company);
        EXPECT_FALSE(maker.empty()) << m.company;
        EXPECT_NE(m.company.find(maker), std::string::npos) << m.company << " -> " << maker;
        EXPECT_FALSE(c.rulesFor(maker, m.model).empty()) << m.company << " / " << m.model;
    }
}

TEST(DeliveredData, ShippedCodes_LintClean) {
    const Checker c = deliveredChecker();
    const auto models = deliveredModels();
    const LintResult r = lintModels(c, models);
    EXPECT_EQ(r.codes, 216u);
    EXPECT_EQ(r.models, 32u);
    EXPECT_TRUE(r.unchecked.empty());
    for (const LintProblem& p : r.problems) {
        const auto& m = models[p.model];
        ADD_FAILURE() << m.company << " / " << m.model << " / " << m.keys[p.key].function << ": "
                      << m.keys[p.key].code << ": " << p.report.findings.front().message;
    }
}

TEST(DeliveredData, AsciiModelsAreTypedTextAndTheirCodesKeepTheRule) {
    // For an ASCII model the technician types `entered_as` with the switch on.
    const Checker c = deliveredChecker();
    std::map<std::string, bool> ascii;
    for (const Row& m : readCsv(kDir + "/models.csv"))
        ascii[m.at("company") + "\n" + m.at("model")] = m.at("ascii") == "1";
    int typed = 0;
    for (const Row& k : readCsv(kDir + "/keys.csv")) {
        const bool isAscii = ascii.at(k.at("company") + "\n" + k.at("model"));
        const CodeReport r = c.check(k.at("company"), k.at("model"), {k.at("entered_as"), isAscii});
        EXPECT_TRUE(r.checked() && r.ok())
            << k.at("company") << " " << k.at("entered_as") << ": "
            << (r.findings.empty() ? "" : r.findings.front().message);
        typed += isAscii;
    }
    EXPECT_GT(typed, 80);
}

TEST(DeliveredData, ResearchRows_KeepTheirMakersRule) {
    const Checker c = deliveredChecker();
    const auto rows = readCsv(kDir + "/research-codes.csv");
    ASSERT_EQ(rows.size(), 216u);
    for (const Row& r : rows) {
        // Canon's families begin with the model the catalogue names.
        const std::string family = r.at("model_family");
        const std::string model = family.substr(0, family.find(' '));
        const CodeReport report = c.check(r.at("maker"), model, {r.at("code_hex"), false});
        EXPECT_TRUE(report.checked()) << r.at("maker") << " " << family;
        EXPECT_TRUE(report.ok()) << r.at("maker") << " " << r.at("code_hex") << ": "
                                 << (report.findings.empty() ? ""
                                                             : report.findings.front().message);
    }
}

} // namespace
} // namespace pj::codecheck

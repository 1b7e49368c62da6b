#pragma once
// Checking a whole catalogue (or part of it) against the framing rules: what
// `projector-cli catalogue lint` reports and the build runs on the delivered
// catalogue. The caller reads the catalogue; this needs no database.

#include "codecheck/checker.h"

#include <span>
#include <string>
#include <vector>

namespace pj::codecheck {

struct LintKey {
    std::string function; // the key's display name
    int slot = 0;
    std::string code;   // the stored code text (hex)
    bool ascii = false; // the row was saved with the ASCII switch
};

struct LintModel {
    std::string company; // as the catalogue names it
    std::string model;
    std::vector<LintKey> keys;
};

struct LintProblem {
    std::size_t model = 0; // index into the models given
    std::size_t key = 0;   // index into that model's keys
    CodeReport report;     // not ok()
};

struct LintResult {
    std::vector<LintProblem> problems;
    std::vector<std::size_t> unchecked; // models no rule applies to
    std::size_t models = 0;             // models checked
    std::size_t codes = 0;              // codes checked
    bool clean() const { return problems.empty(); }
};

LintResult lintModels(const Checker& checker, std::span<const LintModel> models);

} // namespace pj::codecheck

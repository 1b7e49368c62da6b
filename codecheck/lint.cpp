#include "codecheck/lint.h"

namespace pj::codecheck {

LintResult lintModels(const Checker& checker, std::span<const LintModel> models) {
    LintResult out;
    std::string lastCompany, maker;
    for (std::size_t m = 0; m < models.size(); ++m) {
        const LintModel& model = models[m];
        if (m == 0 || model.company != lastCompany) {
            lastCompany = model.company;
            maker = checker.makerOf(model.company);
        }
        const std::vector<const Rule*> rules = checker.rulesFor(maker, model.model);
        if (rules.empty()) {
            out.unchecked.push_back(m);
            continue;
        }
        ++out.models;
        for (std::size_t k = 0; k < model.keys.size(); ++k) {
            const LintKey& key = model.keys[k];
            ++out.codes;
            CodeReport r = checker.checkStored(rules, key.code, key.ascii);
            if (r.ok())
                continue;
            r.maker = maker;
            out.problems.push_back({m, k, std::move(r)});
        }
    }
    return out;
}

} // namespace pj::codecheck

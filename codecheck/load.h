#pragma once
// Where the checker's rules come from: the rules file a caller names, the one
// in PROJECTOR_RULES, or the delivered rules (resources/rules/framing-rules.txt,
// compiled into the program so that it needs no file beside it).

#include "codecheck/rules.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pj::codecheck {

inline constexpr char kRulesEnv[] = "PROJECTOR_RULES";
inline constexpr char kDeliveredRulesName[] = "内置规则";

// The text of the delivered rules file.
std::string_view deliveredRulesText();

struct LoadedRules {
    std::shared_ptr<const RuleSet> rules; // null when the rules could not be read
    std::string source;                   // the file read, or kDeliveredRulesName
    std::vector<std::string> errors;      // "SOURCE:LINE: message", Chinese
    bool ok() const { return rules != nullptr; }
};

// Reads `file` when it is not empty; otherwise the file in PROJECTOR_RULES when
// that is set and not empty; otherwise the delivered rules. A file that cannot
// be read or holds an error gives no rules and the errors, never a partial set.
LoadedRules loadRules(const std::string& file = {});

// Reads rules from text; `source` names it in the errors.
LoadedRules parseRulesText(std::string_view text, const std::string& source);

} // namespace pj::codecheck

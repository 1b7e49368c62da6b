#pragma once
// The code checker: is a key code framed as its projector maker's manual
// says? For a code that breaks its maker's rule it tells, in the user's words,
// what is wrong ("缺少结束符 0d", "校验和应为 5f", "长度应为 8 字节") and,
// where it can, the corrected code. Standard library only, so the window, the
// command-line tool and tests share it.
//
//   Checker checker(loadRules().rules);
//   CodeReport r = checker.check("爱普生 Epson", "EB-X41", {"PWR ON", true});
//   r.ok(), r.findings[i].message, r.fix->text / r.fix->ascii

#include "codecheck/rules.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pj::codecheck {

// A code as the model editor holds it: hex text ("a9 17 2e …"), or, with the
// "ASCII码" switch on, the command's characters ("PWR ON"), which are stored
// as their hex followed by " 0d".
struct TypedCode {
    std::string text;
    bool ascii = false;
    bool operator==(const TypedCode&) const = default;
};

enum class CheckKind {
    Format,      // the text is no hex code
    Empty,       // no bytes at all
    Terminator,  // missing, wrong or superfluous terminator
    Length,      // total length
    LengthField, // the length field disagrees with the length
    Start,       // fixed leading bytes
    End,         // fixed trailing bytes
    Fixed,       // further fixed bytes
    InnerEnd,    // a terminator byte inside the command
    Text,        // a byte that is no printable character
    Pattern,     // the text has not the command's form
    Checksum,    // checksum or CRC
};

// "format", "empty", "terminator", "length", "length-field", "start", "end",
// "fixed", "inner-end", "text", "pattern", "checksum" (for JSON and logs).
std::string_view checkKindName(CheckKind kind);

struct Finding {
    std::string rule; // the rule's name; empty for Format
    CheckKind kind = CheckKind::Format;
    std::string message; // Chinese, for the user
};

struct CodeReport {
    std::string maker;              // Latin name; empty when the company is unknown
    std::vector<std::string> rules; // names of the rules applied
    std::vector<Finding> findings;  // empty when the code keeps its rules
    // The corrected code, when the checker can tell it and it keeps every
    // rule: typed as the input was, except that a code the ASCII switch cannot
    // produce (one that must not end in 0d) comes as hex with ascii false.
    std::optional<TypedCode> fix;
    std::optional<Bytes> fixedBytes; // the same as bytes on the wire

    bool checked() const { return !rules.empty(); }
    bool ok() const { return findings.empty(); }
};

// The bytes a typed code stands for: for ASCII the text's bytes and 0d (as
// the catalogue stores it), else whole hex pairs; nullopt for hex text that is
// no code.
std::optional<Bytes> typedCodeBytes(const TypedCode& code);

// One rule on one code. `asciiRow`: the code was typed with the ASCII switch,
// so a terminator message says how to get rid of the 0d it adds.
std::vector<Finding> checkRule(const Rule& rule, std::span<const std::uint8_t> bytes,
                               bool asciiRow = false);

// The code changed so that it keeps `rules`, where the checker can tell how:
// terminators added, replaced or removed, fixed brackets and bytes put right,
// checksums computed. nullopt when it cannot (wrong length, a character that
// is not allowed) or when the code keeps its rules already.
std::optional<Bytes> repairCode(std::span<const Rule* const> rules,
                                std::span<const std::uint8_t> bytes);

class Checker {
public:
    explicit Checker(std::shared_ptr<const RuleSet> rules);

    const RuleSet& rules() const { return *rules_; }

    // The maker of a catalogue company ("爱普生 Epson" gives "Epson").
    std::string makerOf(std::string_view company) const { return rules_->makerOf(company); }
    std::vector<const Rule*> rulesFor(std::string_view maker, std::string_view model) const {
        return rules_->rulesFor(maker, model);
    }

    // A code of a model, the company given as the catalogue stores it or by its
    // Latin name. A company or model no rule applies to gives a report that is
    // ok() but not checked().
    CodeReport check(std::string_view company, std::string_view model, const TypedCode& code) const;

    // A stored code (FUNKEY.FUNCODE: hex text) of a row saved with the ASCII
    // switch (`asciiRow`) or without, against rules already looked up.
    CodeReport checkStored(std::span<const Rule* const> rules, std::string_view storedText,
                           bool asciiRow) const;

    // Bytes against rules already looked up.
    CodeReport checkBytes(std::span<const Rule* const> rules, std::span<const std::uint8_t> bytes,
                          bool asciiRow) const;

private:
    std::shared_ptr<const RuleSet> rules_;
};

} // namespace pj::codecheck

#pragma once
// The framing rules of projector makers, as read from the rules file
// (resources/rules/framing-rules.txt; format in docs/code-checker.md). A rule
// names the makers (by the company's Latin name) and the models it applies to
// and lists what a code must look like: terminator, fixed brackets and
// lengths, a length field, printable text or a text pattern, checksums. The
// checker (codecheck/checker.h) applies them.

#include "codecheck/algorithms.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace pj::codecheck {

using Bytes = std::vector<std::uint8_t>;

// One byte position of a fixed run: the values allowed there (one or more).
struct ByteChoice {
    std::vector<std::uint8_t> values;
    bool single() const { return values.size() == 1; }
    bool allows(std::uint8_t b) const;
};
using BytePattern = std::vector<ByteChoice>;

// Byte positions count from 0; a negative position counts from the end
// (-1 is the last byte).
struct FixedBytes {
    int at = 0;
    BytePattern bytes;
};

struct LengthRange {
    std::size_t min = 0;
    std::optional<std::size_t> max; // none: no upper limit
};

// A field that holds the length of the data: the whole code is value + extra
// bytes long.
struct LengthField {
    int at = 0;
    int width = 1; // 1, or 2 (low byte first)
    std::size_t extra = 0;
};

struct Terminator {
    // The endings a code may have, e.g. {0d} or {0d}, {0a}, {0d 0a}, {00};
    // empty: the code must end without a line end (no 0d, no 0a).
    std::vector<Bytes> endings;
    bool none() const { return endings.empty(); }
};

struct Checksum {
    Algorithm algorithm = Algorithm::Sum8;
    int from = 0, to = -1; // the bytes covered, both ends included
    int at = -1;           // where the value sits; covered bytes there count as 00
    bool highFirst = true; // for 16-bit values
};

struct ModelRef {
    std::string maker;   // Latin name
    std::string pattern; // model name; '*' stands for any run, '?' for one character
};

struct Rule {
    std::string name;
    std::string what; // one line for the user: what a code must look like
    int line = 0;     // where the rule starts in its file

    std::vector<std::string> makers; // Latin names
    std::vector<ModelRef> models;    // models that use this rule whatever their maker's rule

    std::optional<LengthRange> length;
    std::optional<LengthField> lengthField;
    BytePattern start;             // the code begins with these
    BytePattern end;               // and ends with these, before the terminator
    std::vector<FixedBytes> fixed; // further fixed bytes
    std::optional<Terminator> terminator;
    bool printable = false; // the bytes between brackets are printable ASCII
    std::string patternText;
    std::shared_ptr<const std::regex> pattern; // the text between brackets
    std::string form;                          // how the pattern is told to the user
    std::vector<Checksum> checksums;

    // A text protocol: what lies between the brackets is characters.
    bool textual() const { return printable || pattern != nullptr; }
};

// A company name that carries no Latin name of its own, mapped to a maker.
struct CompanyAlias {
    std::string company;
    std::string maker;
};

struct RulesError {
    int line = 0;        // 0 when the error is not about one line
    std::string message; // Chinese
};

class RuleSet {
public:
    // Reads the rules file's text. Every error is listed (with its line); a
    // text with any error gives no rule set.
    static std::optional<RuleSet> parse(std::string_view text, std::vector<RulesError>& errors);

    const std::vector<Rule>& rules() const { return rules_; }
    const std::vector<CompanyAlias>& aliases() const { return aliases_; }
    const Rule* find(std::string_view name) const;

    // The maker a company of the catalogue belongs to, by its Latin name: a
    // company listed in the rules file (as a whole or one of its words) gives
    // that maker; otherwise the Latin words of the name ("爱普生 Epson" gives
    // "Epson"), spelt as the rules spell the maker. Empty when the name has no
    // Latin word and no mapping.
    std::string makerOf(std::string_view company) const;

    // The rules for one model: those naming the model when there are any,
    // otherwise those naming its maker. Empty when no rule applies.
    std::vector<const Rule*> rulesFor(std::string_view maker, std::string_view model) const;

private:
    std::vector<Rule> rules_;
    std::vector<CompanyAlias> aliases_;
};

// ASCII case-insensitive comparison and model-name matching ('*', '?').
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool matchesModel(std::string_view pattern, std::string_view model);

} // namespace pj::codecheck

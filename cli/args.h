#pragma once
// A small reader for the command line of projector-cli's protocol commands:
// options with a value ("--port P" or "--port=P"), repeatable options, flags.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pj::cli {

struct OptionSpec {
    std::set<std::string> single;     // take one value, at most once
    std::set<std::string> repeatable; // take one value, any number of times
    std::set<std::string> flags;      // take no value
};

class ParsedArgs {
public:
    bool has(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;
    std::vector<std::string> values(const std::string& name) const;

    std::map<std::string, std::vector<std::string>> options;
    std::set<std::string> flags;
    bool help = false; // "--help" or "-h" where an option may stand
};

// nullopt with a one-line reason (Chinese) on an unknown option, a missing
// value, a repeated single option or a word that belongs to no option. A
// "--help" or "-h" where an option may stand wins over such errors: the
// result then has `help` set and the caller prints its usage.
std::optional<ParsedArgs> parseArgs(const std::vector<std::string>& args, const OptionSpec& spec,
                                    std::string& error);

// The one wording of every command for an option it does not know.
std::string unknownOptionText(const std::string& option);

// Whole decimal integer within [lo, hi]; nullopt otherwise.
std::optional<long long> parseInteger(const std::string& text, long long lo, long long hi);

// "none" / "odd" / "even" or 0 / 1 / 2 as a parity code.
std::optional<int> parseParity(const std::string& text);

} // namespace pj::cli

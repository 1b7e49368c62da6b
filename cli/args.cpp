#include "cli/args.h"

#include <cerrno>
#include <cstdlib>

namespace pj::cli {

bool ParsedArgs::has(const std::string& name) const {
    return flags.count(name) || options.count(name);
}

std::optional<std::string> ParsedArgs::value(const std::string& name) const {
    const auto it = options.find(name);
    if (it == options.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::vector<std::string> ParsedArgs::values(const std::string& name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::vector<std::string>{} : it->second;
}

std::string unknownOptionText(const std::string& option) {
    return "未知选项: " + option;
}

std::optional<ParsedArgs> parseArgs(const std::vector<std::string>& args, const OptionSpec& spec,
                                    std::string& error) {
    ParsedArgs out;
    std::string firstError;
    auto failWith = [&firstError](std::string why) {
        if (firstError.empty())
            firstError = std::move(why);
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--help" || name == "-h") {
            out.help = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) != 0) {
            failWith("多余的参数: " + name);
            continue;
        }
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        if (spec.flags.count(name)) {
            if (inlineValue)
                failWith("选项 " + name + " 不带值");
            else
                out.flags.insert(name);
            continue;
        }
        const bool single = spec.single.count(name) > 0;
        if (!single && !spec.repeatable.count(name)) {
            failWith(unknownOptionText(name));
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            failWith("选项 " + name + " 需要一个值");
            continue;
        }
        auto& slot = out.options[name];
        if (single && !slot.empty()) {
            failWith("选项 " + name + " 只能给一次");
            continue;
        }
        slot.push_back(value);
    }
    if (out.help)
        return out;
    if (!firstError.empty()) {
        error = firstError;
        return std::nullopt;
    }
    return out;
}

std::optional<long long> parseInteger(const std::string& text, long long lo, long long hi) {
    if (text.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!(c >= '0' && c <= '9') && !(i == 0 && c == '-' && text.size() > 1))
            return std::nullopt;
    }
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::optional<int> parseParity(const std::string& text) {
    if (text == "none" || text == "0")
        return 0;
    if (text == "odd" || text == "1")
        return 1;
    if (text == "even" || text == "2")
        return 2;
    return std::nullopt;
}

} // namespace pj::cli

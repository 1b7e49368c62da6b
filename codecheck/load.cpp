#include "codecheck/load.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace pj::codecheck {

LoadedRules parseRulesText(std::string_view text, const std::string& source) {
    LoadedRules out;
    out.source = source;
    std::vector<RulesError> errors;
    auto set = RuleSet::parse(text, errors);
    for (const auto& e : errors) {
        std::string line = source;
        if (e.line > 0)
            line.append(":").append(std::to_string(e.line));
        line.append(": ").append(e.message);
        out.errors.push_back(std::move(line));
    }
    if (set)
        out.rules = std::make_shared<const RuleSet>(std::move(*set));
    return out;
}

LoadedRules loadRules(const std::string& file) {
    std::string path = file;
    if (path.empty()) {
        const char* env = std::getenv(kRulesEnv);
        if (env && *env)
            path = env;
    }
    if (path.empty())
        return parseRulesText(deliveredRulesText(), kDeliveredRulesName);
    // The name is UTF-8; through a path it reaches Windows' wide file API too.
    const std::u8string name(path.begin(), path.end());
    std::ifstream in(std::filesystem::path(name), std::ios::binary);
    std::string text;
    if (in)
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        LoadedRules out;
        out.source = path;
        out.errors.push_back("无法读取规则文件 " + path);
        return out;
    }
    return parseRulesText(text, path);
}

} // namespace pj::codecheck

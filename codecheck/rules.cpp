#include "codecheck/rules.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace pj::codecheck {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Words separated by blanks; the ideographic space (U+3000) separates too.
std::vector<std::string_view> words(std::string_view s) {
    static constexpr std::string_view kWideSpace = "\xE3\x80\x80";
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (isBlank(s[i])) {
            ++i;
            continue;
        }
        if (s.substr(i, 3) == kWideSpace) {
            i += 3;
            continue;
        }
        std::size_t j = i;
        while (j < s.size() && !isBlank(s[j]) && s.substr(j, 3) != kWideSpace)
            ++j;
        out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        const auto p = s.find(sep, start);
        out.push_back(trim(s.substr(start, p == std::string_view::npos ? p : p - start)));
        if (p == std::string_view::npos)
            return out;
        start = p + 1;
    }
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::optional<int> parseInt(std::string_view s) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    int v = 0;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::optional<std::size_t> parseCount(std::string_view s) {
    const auto v = parseInt(s);
    if (!v || *v < 0)
        return std::nullopt;
    return static_cast<std::size_t>(*v);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::uint8_t> parseHexByte(std::string_view s) {
    if (s.size() != 2 || hexValue(s[0]) < 0 || hexValue(s[1]) < 0)
        return std::nullopt;
    return static_cast<std::uint8_t>(hexValue(s[0]) * 16 + hexValue(s[1]));
}

// "a9 00|01 9a": hex pairs, alternatives joined by '|'.
std::optional<BytePattern> parseBytePattern(const std::vector<std::string_view>& ws) {
    BytePattern out;
    for (std::string_view w : ws) {
        ByteChoice choice;
        for (std::string_view alt : split(w, '|')) {
            const auto b = parseHexByte(alt);
            if (!b)
                return std::nullopt;
            choice.values.push_back(*b);
        }
        out.push_back(std::move(choice));
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

std::optional<Bytes> terminatorBytes(std::string_view name) {
    if (name == "cr")
        return Bytes{0x0d};
    if (name == "lf")
        return Bytes{0x0a};
    if (name == "crlf")
        return Bytes{0x0d, 0x0a};
    if (name == "etx")
        return Bytes{0x03};
    if (name == "nul")
        return Bytes{0x00};
    return std::nullopt;
}

class Parser {
public:
    explicit Parser(std::vector<RulesError>& errors)
        : errors_(errors) {}

    void line(int number, std::string_view text);
    void finish();

    std::vector<Rule> rules;
    std::vector<CompanyAlias> aliases;

private:
    void error(std::string message) { errors_.push_back({number_, std::move(message)}); }
    void ruleLine(std::string_view key, std::string_view value);
    void finishRule();

    std::vector<RulesError>& errors_;
    int number_ = 0;
    std::optional<Rule> rule_;
    std::set<std::string, std::less<>> names_;
};

void Parser::line(int number, std::string_view text) {
    number_ = number;
    text = trim(text);
    if (text.empty() || text.front() == '#')
        return;
    const auto space = text.find_first_of(" \t");
    const std::string_view key = text.substr(0, space);
    const std::string_view value =
        space == std::string_view::npos ? std::string_view{} : trim(text.substr(space));
    if (key == "rule") {
        finishRule();
        number_ = number;
        if (value.empty() || words(value).size() != 1) {
            error("rule 后面应是一个规则名");
            return;
        }
        if (names_.count(value) != 0)
            error("规则名 " + std::string(value) + " 重复");
        names_.emplace(value);
        rule_.emplace();
        rule_->name = std::string(value);
        rule_->line = number;
        return;
    }
    if (key == "company") {
        finishRule();
        number_ = number;
        const auto eq = value.find('=');
        const std::string_view company =
            eq == std::string_view::npos ? "" : trim(value.substr(0, eq));
        const std::string_view maker =
            eq == std::string_view::npos ? "" : trim(value.substr(eq + 1));
        if (company.empty() || maker.empty()) {
            error("company 的写法是 company 公司名 = 厂家拉丁名");
            return;
        }
        aliases.push_back({std::string(company), std::string(maker)});
        return;
    }
    if (!rule_) {
        error("未知的关键字 " + std::string(key) + "（规则的各项应写在 rule 行之后）");
        return;
    }
    ruleLine(key, value);
}

void Parser::ruleLine(std::string_view key, std::string_view value) {
    Rule& r = *rule_;
    const std::vector<std::string_view> ws = words(value);
    const std::string k(key);
    if (value.empty()) {
        error(k + " 缺少内容");
        return;
    }
    if (key == "what") {
        r.what = std::string(value);
    } else if (key == "makers") {
        for (std::string_view m : split(value, ',')) {
            if (m.empty())
                error("makers 中有空的厂家名");
            else
                r.makers.emplace_back(m);
        }
    } else if (key == "model") {
        const auto colon = value.find(':');
        const std::string_view maker =
            colon == std::string_view::npos ? "" : trim(value.substr(0, colon));
        const std::string_view model =
            colon == std::string_view::npos ? "" : trim(value.substr(colon + 1));
        if (maker.empty() || model.empty())
            error("model 的写法是 model 厂家拉丁名: 型号");
        else
            r.models.push_back({std::string(maker), std::string(model)});
    } else if (key == "length") {
        const auto dots = value.find("..");
        LengthRange range;
        bool ok = true;
        if (dots == std::string_view::npos) {
            const auto n = parseCount(value);
            ok = n.has_value();
            range.min = n.value_or(0);
            range.max = n;
        } else {
            const std::string_view lo = trim(value.substr(0, dots));
            const std::string_view hi = trim(value.substr(dots + 2));
            if (!lo.empty()) {
                const auto n = parseCount(lo);
                ok = ok && n.has_value();
                range.min = n.value_or(0);
            }
            if (!hi.empty()) {
                range.max = parseCount(hi);
                ok = ok && range.max.has_value();
            }
            ok = ok && !(lo.empty() && hi.empty()) && (!range.max || *range.max >= range.min);
        }
        if (!ok)
            error("length 的写法是 N、N..M、N.. 或 ..M");
        else
            r.length = range;
    } else if (key == "length-field") {
        // POS [u16le] + N
        std::vector<std::string_view> t;
        for (std::string_view w : ws) {
            if (w.size() > 1 && w.front() == '+') {
                t.push_back("+");
                t.push_back(w.substr(1));
            } else {
                t.push_back(w);
            }
        }
        LengthField f;
        std::size_t i = 0;
        const auto pos = i < t.size() ? parseInt(t[i++]) : std::nullopt;
        if (i < t.size() && t[i] == "u16le") {
            f.width = 2;
            ++i;
        }
        const bool plus = i < t.size() && t[i++] == "+";
        const auto extra = i < t.size() ? parseCount(t[i++]) : std::nullopt;
        if (!pos || !plus || !extra || i != t.size()) {
            error("length-field 的写法是 位置 [u16le] + 附加字节数");
            return;
        }
        f.at = *pos;
        f.extra = *extra;
        r.lengthField = f;
    } else if (key == "start" || key == "end") {
        const auto p = parseBytePattern(ws);
        if (!p)
            error(k + " 应是十六进制字节（多选用 | 分隔），如 a9 或 21|3f 89 01");
        else
            (key == "start" ? r.start : r.end) = *p;
    } else if (key == "at") {
        const auto pos = parseInt(ws.front());
        const auto p = parseBytePattern(std::vector<std::string_view>(ws.begin() + 1, ws.end()));
        if (!pos || !p)
            error("at 的写法是 at 位置 字节…，如 at 3 00|01");
        else
            r.fixed.push_back({*pos, *p});
    } else if (key == "terminator") {
        Terminator t;
        bool ok = true;
        if (value != "none") {
            for (std::string_view name : split(value, '|')) {
                const auto b = terminatorBytes(name);
                ok = ok && b.has_value();
                if (b)
                    t.endings.push_back(*b);
            }
        }
        if (!ok)
            error("terminator 只能是 cr、lf、crlf、etx、nul（多选用 | 分隔）或 none");
        else
            r.terminator = t;
    } else if (key == "text") {
        if (value != "printable")
            error("text 只能是 printable");
        else
            r.printable = true;
    } else if (key == "pattern") {
        try {
            r.pattern = std::make_shared<const std::regex>(
                std::string(value), std::regex::ECMAScript | std::regex::optimize);
            r.patternText = std::string(value);
        } catch (const std::regex_error&) {
            error("pattern 不是有效的正则表达式：" + std::string(value));
        }
    } else if (key == "form") {
        r.form = std::string(value);
    } else if (key == "checksum") {
        // ALGO of A..B at P [high-first|low-first]
        Checksum c;
        const auto algo = algorithmFromName(ws.front());
        bool ok = algo.has_value() && ws.size() >= 5 && ws[1] == "of" && ws[3] == "at";
        if (ok) {
            c.algorithm = *algo;
            const auto dots = ws[2].find("..");
            const auto from =
                dots == std::string_view::npos ? std::nullopt : parseInt(ws[2].substr(0, dots));
            const auto to =
                dots == std::string_view::npos ? std::nullopt : parseInt(ws[2].substr(dots + 2));
            const auto at = parseInt(ws[4]);
            ok = from && to && at;
            if (ok) {
                c.from = *from;
                c.to = *to;
                c.at = *at;
            }
            if (ws.size() == 6 && ws[5] == "low-first")
                c.highFirst = false;
            else if (ws.size() == 6 && ws[5] != "high-first")
                ok = false;
            ok = ok && ws.size() <= 6;
        }
        if (!ok)
            error("checksum 的写法是 checksum sum8|or8|crc16-modbus of 起..止 at 位置 "
                  "[high-first|low-first]");
        else
            r.checksums.push_back(c);
    } else {
        error("未知的规则项 " + k);
    }
}

void Parser::finishRule() {
    if (!rule_)
        return;
    number_ = rule_->line;
    if (rule_->makers.empty() && rule_->models.empty())
        error("规则 " + rule_->name + " 没有 makers 或 model，不适用于任何型号");
    if (rule_->pattern && rule_->form.empty())
        error("规则 " + rule_->name + " 有 pattern，还需要 form 向用户说明格式");
    if (rule_->what.empty())
        error("规则 " + rule_->name + " 缺少 what");
    rules.push_back(std::move(*rule_));
    rule_.reset();
}

void Parser::finish() {
    finishRule();
}

bool isLatinWord(std::string_view w) {
    bool letter = false;
    for (char c : w) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
        letter = letter || (lower(c) >= 'a' && lower(c) <= 'z');
    }
    return letter;
}

} // namespace

bool ByteChoice::allows(std::uint8_t b) const {
    return std::find(values.begin(), values.end(), b) != values.end();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool matchesModel(std::string_view pattern, std::string_view model) {
    // Iterative glob with one point to go back to after the last '*'.
    std::size_t p = 0, m = 0, starP = std::string_view::npos, starM = 0;
    auto charLength = [&](std::size_t i) {
        std::size_t n = 1;
        while (i + n < model.size() && (static_cast<unsigned char>(model[i + n]) & 0xC0) == 0x80)
            ++n;
        return n;
    };
    while (m < model.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starM = m;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            m += charLength(m);
        } else if (p < pattern.size() && lower(pattern[p]) == lower(model[m])) {
            ++p;
            ++m;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            m = ++starM;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::optional<RuleSet> RuleSet::parse(std::string_view text, std::vector<RulesError>& errors) {
    const std::size_t before = errors.size();
    Parser parser(errors);
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    int number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto nl = text.find('\n', start);
        parser.line(++number, text.substr(start, nl == std::string_view::npos ? nl : nl - start));
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    parser.finish();
    if (errors.size() != before)
        return std::nullopt;
    RuleSet set;
    set.rules_ = std::move(parser.rules);
    set.aliases_ = std::move(parser.aliases);
    return set;
}

const Rule* RuleSet::find(std::string_view name) const {
    for (const Rule& r : rules_) {
        if (r.name == name)
            return &r;
    }
    return nullptr;
}

std::string RuleSet::makerOf(std::string_view company) const {
    company = trim(company);
    for (const auto& a : aliases_) {
        if (equalsIgnoringCase(a.company, company))
            return a.maker;
    }
    const auto ws = words(company);
    for (std::string_view w : ws) {
        for (const auto& a : aliases_) {
            if (equalsIgnoringCase(a.company, w))
                return a.maker;
        }
    }
    std::string latin;
    for (std::string_view w : ws) {
        if (!isLatinWord(w))
            continue;
        if (!latin.empty())
            latin += ' ';
        latin += w;
    }
    if (latin.empty())
        return {};
    // Spelt as the rules spell it ("EPSON" is the maker "Epson").
    for (const Rule& r : rules_) {
        for (const auto& m : r.makers) {
            if (equalsIgnoringCase(m, latin))
                return m;
        }
        for (const auto& m : r.models) {
            if (equalsIgnoringCase(m.maker, latin))
                return m.maker;
        }
    }
    return latin;
}

std::vector<const Rule*> RuleSet::rulesFor(std::string_view maker, std::string_view model) const {
    std::vector<const Rule*> out;
    if (maker.empty())
        return out;
    for (const Rule& r : rules_) {
        for (const auto& m : r.models) {
            if (equalsIgnoringCase(m.maker, maker) && matchesModel(m.pattern, model)) {
                out.push_back(&r);
                break;
            }
        }
    }
    if (!out.empty())
        return out;
    for (const Rule& r : rules_) {
        for (const auto& m : r.makers) {
            if (equalsIgnoringCase(m, maker)) {
                out.push_back(&r);
                break;
            }
        }
    }
    return out;
}

} // namespace pj::codecheck

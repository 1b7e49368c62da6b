#include "codecheck/checker.h"

#include "link/codetext.h"

#include <algorithm>

namespace pj::codecheck {

namespace {

using Span = std::span<const std::uint8_t>;

constexpr char kHex[] = "0123456789abcdef";

std::string hex(std::uint8_t b) {
    return {kHex[b >> 4], kHex[b & 0x0F]};
}

std::string hexText(Span bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += hex(bytes[i]);
    }
    return out;
}

// "a9", "06/07 14 00"
std::string patternText(const BytePattern& p) {
    std::string out;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (i)
            out += ' ';
        for (std::size_t k = 0; k < p[i].values.size(); ++k) {
            if (k)
                out += '/';
            out += hex(p[i].values[k]);
        }
    }
    return out;
}

// "0d", "0d 或 0a", "0d、0a、0d 0a 或 00"
std::string endingsText(const Terminator& t) {
    std::string out;
    for (std::size_t i = 0; i < t.endings.size(); ++i) {
        if (i)
            out += (i + 1 == t.endings.size()) ? " 或 " : "、";
        out += hexText(t.endings[i]);
    }
    return out;
}

std::string byteNumber(long long index) {
    return "第 " + std::to_string(index + 1) + " 字节";
}

std::string byteRange(long long first, std::size_t count) {
    if (count == 1)
        return byteNumber(first);
    return "第 " + std::to_string(first + 1) + "–" + std::to_string(first + count) + " 字节";
}

bool isPrintable(std::uint8_t b) {
    return b >= 0x20 && b <= 0x7e;
}

bool isLineEnd(std::uint8_t b) {
    return b == 0x0d || b == 0x0a;
}

bool isAlnum(std::uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

// The last character of a text command before its closing bracket: a value,
// a '?' (a query) or a '!'.
bool endsACommand(std::uint8_t b) {
    return isAlnum(b) || b == '?' || b == '!';
}

// Bytes that end a text command: CR, LF, ETX, NUL.
bool isTextEnd(std::uint8_t b) {
    return isLineEnd(b) || b == 0x03 || b == 0x00;
}

// A position of the rules (negative: from the end) in a code of n bytes.
long long resolve(int at, std::size_t n) {
    return at < 0 ? static_cast<long long>(n) + at : at;
}

bool endsWith(Span bytes, const Bytes& tail) {
    return bytes.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), bytes.end() - static_cast<long>(tail.size()));
}

// The ending of `bytes` among the terminator's endings (the longest), or 0.
std::size_t matchedEnding(const Terminator& t, Span bytes) {
    std::size_t best = 0;
    bool found = false;
    for (const Bytes& e : t.endings) {
        if (endsWith(bytes, e) && (!found || e.size() > best)) {
            best = e.size();
            found = true;
        }
    }
    return best;
}

// How many bytes at the end look like a terminator (at most two): line ends
// for every rule, and ETX / NUL too for a text protocol.
std::size_t trailingEnds(Span bytes, bool textual, bool lineEndsOnly) {
    std::size_t k = 0;
    while (k < 2 && k < bytes.size()) {
        const std::uint8_t b = bytes[bytes.size() - 1 - k];
        const bool end = lineEndsOnly ? isLineEnd(b) : (textual ? isTextEnd(b) : false);
        if (!end)
            break;
        ++k;
    }
    return k;
}

// Where the parts of a code lie under a rule.
struct Layout {
    std::size_t n = 0;
    std::size_t termLen = 0;   // bytes taken as the terminator (right or wrong)
    bool termOk = true;        // the terminator is as the rule wants
    std::size_t bodyBegin = 0; // after the start bytes
    std::size_t bodyEnd = 0;   // before the end bytes and the terminator
};

Layout layoutOf(const Rule& rule, Span bytes) {
    Layout l;
    l.n = bytes.size();
    if (rule.terminator) {
        const Terminator& t = *rule.terminator;
        if (t.none()) {
            l.termLen = trailingEnds(bytes, true, true);
            l.termOk = l.termLen == 0;
        } else if (const std::size_t m = matchedEnding(t, bytes); m > 0) {
            l.termLen = m;
        } else {
            l.termOk = false;
            l.termLen = trailingEnds(bytes, rule.textual(), false);
        }
    }
    l.bodyBegin = std::min(rule.start.size(), l.n);
    const std::size_t tail = l.termLen + rule.end.size();
    l.bodyEnd = l.n >= tail ? l.n - tail : 0;
    l.bodyEnd = std::max(l.bodyEnd, l.bodyBegin);
    return l;
}

bool lengthOk(const Rule& rule, std::size_t n) {
    if (!rule.length)
        return true;
    return n >= rule.length->min && (!rule.length->max || n <= *rule.length->max);
}

std::optional<std::size_t> lengthFieldValue(const LengthField& f, Span bytes) {
    const long long p = resolve(f.at, bytes.size());
    if (p < 0 || p + f.width > static_cast<long long>(bytes.size()))
        return std::nullopt;
    const auto i = static_cast<std::size_t>(p);
    std::size_t v = bytes[i];
    if (f.width == 2)
        v |= static_cast<std::size_t>(bytes[i + 1]) << 8;
    return v;
}

bool lengthFieldOk(const Rule& rule, Span bytes) {
    if (!rule.lengthField)
        return true;
    const auto v = lengthFieldValue(*rule.lengthField, bytes);
    return v && *v + rule.lengthField->extra == bytes.size();
}

bool patternAt(const BytePattern& p, Span bytes, long long first) {
    for (std::size_t i = 0; i < p.size(); ++i) {
        const long long idx = first + static_cast<long long>(i);
        if (idx < 0 || idx >= static_cast<long long>(bytes.size()) ||
            !p[i].allows(bytes[static_cast<std::size_t>(idx)]))
            return false;
    }
    return true;
}

bool allSingle(const BytePattern& p) {
    return std::all_of(p.begin(), p.end(), [](const ByteChoice& c) { return c.single(); });
}

Bytes singleBytes(const BytePattern& p) {
    Bytes out;
    for (const auto& c : p)
        out.push_back(c.values.front());
    return out;
}

struct ChecksumPlace {
    std::size_t from = 0, to = 0, at = 0; // to inclusive
    int width = 1;
};

std::optional<ChecksumPlace> placeOf(const Checksum& c, std::size_t n) {
    const long long from = resolve(c.from, n), to = resolve(c.to, n), at = resolve(c.at, n);
    const int width = algorithmWidth(c.algorithm);
    if (from < 0 || to < from || to >= static_cast<long long>(n) || at < 0 ||
        at + width > static_cast<long long>(n))
        return std::nullopt;
    return ChecksumPlace{static_cast<std::size_t>(from), static_cast<std::size_t>(to),
                         static_cast<std::size_t>(at), width};
}

// The value the checksum should have, as the bytes it takes in the code.
Bytes expectedChecksum(const Checksum& c, const ChecksumPlace& p, Span bytes) {
    Bytes covered(bytes.begin() + static_cast<long>(p.from),
                  bytes.begin() + static_cast<long>(p.to) + 1);
    for (int k = 0; k < p.width; ++k) {
        const std::size_t pos = p.at + static_cast<std::size_t>(k);
        if (pos >= p.from && pos <= p.to)
            covered[pos - p.from] = 0; // the checksum's own bytes count as 00
    }
    const std::uint16_t v = computeChecksum(c.algorithm, covered);
    if (p.width == 1)
        return {static_cast<std::uint8_t>(v)};
    const auto hi = static_cast<std::uint8_t>(v >> 8), lo = static_cast<std::uint8_t>(v & 0xFF);
    return c.highFirst ? Bytes{hi, lo} : Bytes{lo, hi};
}

const char kAsciiHint[] = "（ASCII码 会在末尾自动加 0d；请关闭 ASCII码，按十六进制输入）";

} // namespace

std::string_view checkKindName(CheckKind kind) {
    switch (kind) {
    case CheckKind::Format:
        return "format";
    case CheckKind::Empty:
        return "empty";
    case CheckKind::Terminator:
        return "terminator";
    case CheckKind::Length:
        return "length";
    case CheckKind::LengthField:
        return "length-field";
    case CheckKind::Start:
        return "start";
    case CheckKind::End:
        return "end";
    case CheckKind::Fixed:
        return "fixed";
    case CheckKind::InnerEnd:
        return "inner-end";
    case CheckKind::Text:
        return "text";
    case CheckKind::Pattern:
        return "pattern";
    case CheckKind::Checksum:
        return "checksum";
    }
    return "";
}

std::optional<Bytes> typedCodeBytes(const TypedCode& code) {
    if (code.ascii) {
        Bytes b(code.text.begin(), code.text.end());
        if (b.empty())
            b.push_back(0x00); // as asciiToCodeText stores an empty text
        b.push_back(0x0d);
        return b;
    }
    return pj::link::parseCodeTextStrict(code.text);
}

std::vector<Finding> checkRule(const Rule& rule, Span bytes, bool asciiRow) {
    std::vector<Finding> out;
    auto add = [&](CheckKind kind, std::string message) {
        out.push_back({rule.name, kind, std::move(message)});
    };
    const std::size_t n = bytes.size();
    if (n == 0) {
        add(CheckKind::Empty, "功能码为空");
        return out;
    }
    const Layout l = layoutOf(rule, bytes);

    if (rule.terminator && !l.termOk) {
        const Terminator& t = *rule.terminator;
        const Span found = bytes.subspan(n - l.termLen);
        const bool hint = asciiRow && l.termLen > 0 && bytes.back() == 0x0d;
        std::string m;
        if (t.none())
            m = "多余的结束符 " + hexText(found);
        else if (l.termLen == 0)
            m = "缺少结束符 " + endingsText(t);
        else
            m = "结束符应为 " + endingsText(t) + "，不是 " + hexText(found);
        add(CheckKind::Terminator, hint ? m + kAsciiHint : m);
    }

    if (!lengthOk(rule, n)) {
        const LengthRange& r = *rule.length;
        std::string want;
        if (r.max && *r.max == r.min)
            want = "长度应为 " + std::to_string(r.min) + " 字节";
        else if (r.max && r.min > 0)
            want = "长度应为 " + std::to_string(r.min) + " 到 " + std::to_string(*r.max) + " 字节";
        else if (r.max)
            want = "长度最多 " + std::to_string(*r.max) + " 字节";
        else
            want = "长度至少应为 " + std::to_string(r.min) + " 字节";
        add(CheckKind::Length, want + "（现为 " + std::to_string(n) + " 字节）");
    }

    if (rule.lengthField && !lengthFieldOk(rule, bytes)) {
        const LengthField& f = *rule.lengthField;
        const long long p = resolve(f.at, n);
        if (const auto v = lengthFieldValue(f, bytes)) {
            const Span field =
                bytes.subspan(static_cast<std::size_t>(p), static_cast<std::size_t>(f.width));
            add(CheckKind::LengthField, "长度应为 " + std::to_string(*v + f.extra) + " 字节（" +
                                            byteRange(p, field.size()) + "的数据长度为 " +
                                            hexText(field) + "），现为 " + std::to_string(n) +
                                            " 字节");
        } else {
            const std::size_t least =
                std::max<std::size_t>(f.extra, static_cast<std::size_t>(std::max(0, f.at)) +
                                                   static_cast<std::size_t>(f.width));
            add(CheckKind::LengthField, "长度至少应为 " + std::to_string(least) + " 字节（现为 " +
                                            std::to_string(n) + " 字节）");
        }
    }

    if (!rule.start.empty() && !patternAt(rule.start, bytes, 0))
        add(CheckKind::Start, "应以 " + patternText(rule.start) + " 开头");

    if (!rule.end.empty()) {
        const long long first =
            static_cast<long long>(n) - static_cast<long long>(l.termLen + rule.end.size());
        if (first < static_cast<long long>(rule.start.size()) ||
            !patternAt(rule.end, bytes, first)) {
            const bool beforeTerminator = rule.terminator && !rule.terminator->none();
            add(CheckKind::End, beforeTerminator ? "结束符前应为 " + patternText(rule.end)
                                                 : "应以 " + patternText(rule.end) + " 结尾");
        }
    }

    for (const FixedBytes& f : rule.fixed) {
        const long long p = resolve(f.at, n);
        if (patternAt(f.bytes, bytes, p))
            continue;
        std::string now;
        if (p >= 0 && p + static_cast<long long>(f.bytes.size()) <= static_cast<long long>(n))
            now = "（现为 " + hexText(bytes.subspan(static_cast<std::size_t>(p), f.bytes.size())) +
                  "）";
        std::string want = patternText(f.bytes);
        if (f.bytes.size() == 1 && f.bytes[0].values.size() > 1) {
            want.clear();
            const auto& v = f.bytes[0].values;
            for (std::size_t k = 0; k < v.size(); ++k)
                want += (k == 0 ? "" : (k + 1 == v.size() ? " 或 " : "、")) + hex(v[k]);
        }
        add(CheckKind::Fixed, byteRange(p, f.bytes.size()) + "应为 " + want + now);
    }

    if (rule.terminator && !rule.terminator->none() && !rule.textual()) {
        // A terminator byte inside a binary command cuts it short.
        bool single = true;
        for (const Bytes& e : rule.terminator->endings)
            single = single && e.size() == 1;
        if (single) {
            for (std::size_t i = l.bodyBegin; i < l.bodyEnd; ++i) {
                const bool isEnd =
                    std::any_of(rule.terminator->endings.begin(), rule.terminator->endings.end(),
                                [&](const Bytes& e) { return e[0] == bytes[i]; });
                if (isEnd) {
                    add(CheckKind::InnerEnd, byteNumber(static_cast<long long>(i)) + " " +
                                                 hex(bytes[i]) + " 是结束符，投影机会在此截断命令");
                    break;
                }
            }
        }
    }

    bool printableOk = true;
    if (rule.textual()) {
        for (std::size_t i = l.bodyBegin; i < l.bodyEnd; ++i) {
            if (!isPrintable(bytes[i])) {
                add(CheckKind::Text, byteNumber(static_cast<long long>(i)) + " " + hex(bytes[i]) +
                                         " 不是可打印字符");
                printableOk = false;
                break;
            }
        }
    }

    // The pattern is matched between the brackets: only where they are right.
    const bool bracketsOk = std::none_of(out.begin(), out.end(), [](const Finding& f) {
        return f.kind == CheckKind::Start || f.kind == CheckKind::End;
    });
    if (rule.pattern && printableOk && bracketsOk) {
        const std::string body(bytes.begin() + static_cast<long>(l.bodyBegin),
                               bytes.begin() + static_cast<long>(l.bodyEnd));
        if (!std::regex_match(body, *rule.pattern))
            add(CheckKind::Pattern, "命令格式不符：应为 " + rule.form);
    }

    const bool structureOk = std::none_of(out.begin(), out.end(), [](const Finding& f) {
        return f.kind == CheckKind::Length || f.kind == CheckKind::LengthField ||
               f.kind == CheckKind::Start || f.kind == CheckKind::End;
    });
    if (structureOk) {
        for (const Checksum& c : rule.checksums) {
            const auto place = placeOf(c, n);
            if (!place) {
                add(CheckKind::Checksum,
                    "长度不足，放不下校验和（现为 " + std::to_string(n) + " 字节）");
                continue;
            }
            const Bytes want = expectedChecksum(c, *place, bytes);
            const Span have = bytes.subspan(place->at, want.size());
            if (std::equal(want.begin(), want.end(), have.begin()))
                continue;
            if (c.algorithm == Algorithm::Crc16Modbus)
                add(CheckKind::Checksum,
                    "CRC 应为 " + hexText(want) + "（" +
                        byteRange(static_cast<long long>(place->at), want.size()) + "，现为 " +
                        hexText(have) + "）");
            else
                add(CheckKind::Checksum,
                    "校验和应为 " + hexText(want) + "（现为 " + hexText(have) + "）");
        }
    }
    return out;
}

namespace {

// One rule's repairs on `b`, in the order the parts depend on each other.
void repairWith(const Rule& rule, Bytes& b) {
    if (b.empty())
        return;
    // Terminator.
    if (rule.terminator) {
        const Terminator& t = *rule.terminator;
        if (t.none()) {
            b.resize(b.size() - trailingEnds(b, true, true));
        } else if (matchedEnding(t, b) == 0) {
            // In a binary command a last byte like 0d may be data or a wrong
            // terminator: no guess.
            if (!rule.textual() && isTextEnd(b.back()))
                return;
            b.resize(b.size() - trailingEnds(b, rule.textual(), false));
            b.insert(b.end(), t.endings.front().begin(), t.endings.front().end());
        }
    }
    const std::size_t termLen = layoutOf(rule, b).termLen;
    // The fixed length of the code, 0 when it may vary.
    const std::size_t exact =
        rule.length && rule.length->max && *rule.length->max == rule.length->min ? rule.length->min
                                                                                 : 0;

    // Leading bytes: replaced when the length is right, put in front when
    // exactly they are missing. In a text command a wrong control byte is
    // replaced, and a bracket is put in front of a command that begins with a
    // letter or digit or with the last part of the bracket; a code that begins
    // with another character may hold a mistyped bracket: no guess.
    if (!rule.start.empty() && allSingle(rule.start) && !patternAt(rule.start, b, 0)) {
        const Bytes s = singleBytes(rule.start);
        if (exact && b.size() == exact) {
            std::copy(s.begin(), s.end(), b.begin());
        } else if (exact && b.size() + s.size() == exact) {
            b.insert(b.begin(), s.begin(), s.end());
        } else if (!exact && rule.textual()) {
            if (!isPrintable(b.front()) && b.size() >= s.size() + termLen) {
                std::copy(s.begin(), s.end(), b.begin());
            } else {
                std::size_t keep = 0; // the longest end of the bracket the code begins with
                for (std::size_t k = s.size() - 1; k > 0; --k) {
                    if (b.size() >= k &&
                        std::equal(s.end() - static_cast<long>(k), s.end(), b.begin())) {
                        keep = k;
                        break;
                    }
                }
                if (keep > 0 || isAlnum(b.front()))
                    b.insert(b.begin(), s.begin(), s.end() - static_cast<long>(keep));
            }
        }
    }

    // Trailing bytes, before the terminator.
    if (!rule.end.empty() && allSingle(rule.end)) {
        const Bytes e = singleBytes(rule.end);
        const long long first =
            static_cast<long long>(b.size()) - static_cast<long long>(termLen + e.size());
        if (!patternAt(rule.end, b, first) || first < static_cast<long long>(rule.start.size())) {
            const auto insertAt = b.end() - static_cast<long>(termLen);
            if (exact && b.size() == exact && first >= 0) {
                std::copy(e.begin(), e.end(), b.begin() + first);
            } else if ((exact && b.size() + e.size() == exact) ||
                       (!exact && rule.textual() && b.size() > termLen &&
                        endsACommand(*(insertAt - 1)))) {
                b.insert(insertAt, e.begin(), e.end());
            }
        }
    }

    const bool shapeOk = lengthOk(rule, b.size()) && lengthFieldOk(rule, b) &&
                         (rule.start.empty() || patternAt(rule.start, b, 0));
    if (!shapeOk)
        return;
    for (const FixedBytes& f : rule.fixed) {
        const long long p = resolve(f.at, b.size());
        if (allSingle(f.bytes) && !patternAt(f.bytes, b, p) && p >= 0 &&
            p + static_cast<long long>(f.bytes.size()) <= static_cast<long long>(b.size())) {
            const Bytes v = singleBytes(f.bytes);
            std::copy(v.begin(), v.end(), b.begin() + p);
        }
    }
    for (const Checksum& c : rule.checksums) {
        if (const auto place = placeOf(c, b.size())) {
            const Bytes want = expectedChecksum(c, *place, b);
            std::copy(want.begin(), want.end(), b.begin() + static_cast<long>(place->at));
        }
    }
}

} // namespace

std::optional<Bytes> repairCode(std::span<const Rule* const> rules, Span bytes) {
    Bytes b(bytes.begin(), bytes.end());
    for (const Rule* r : rules)
        repairWith(*r, b);
    if (std::equal(b.begin(), b.end(), bytes.begin(), bytes.end()))
        return std::nullopt;
    for (const Rule* r : rules) {
        if (!checkRule(*r, b).empty())
            return std::nullopt;
    }
    return b;
}

Checker::Checker(std::shared_ptr<const RuleSet> rules)
    : rules_(std::move(rules)) {
    if (!rules_)
        rules_ = std::make_shared<const RuleSet>();
}

CodeReport Checker::check(std::string_view company, std::string_view model,
                          const TypedCode& code) const {
    const std::string maker = makerOf(company);
    const std::vector<const Rule*> rules = rulesFor(maker, model);
    CodeReport r;
    if (const auto bytes = typedCodeBytes(code)) {
        r = checkBytes(rules, *bytes, code.ascii);
    } else {
        for (const Rule* rule : rules)
            r.rules.push_back(rule->name);
        r.findings.push_back({{}, CheckKind::Format, "功能码格式错误"});
    }
    r.maker = maker;
    return r;
}

CodeReport Checker::checkStored(std::span<const Rule* const> rules, std::string_view storedText,
                                bool asciiRow) const {
    if (const auto bytes = pj::link::parseCodeTextStrict(storedText))
        return checkBytes(rules, *bytes, asciiRow);
    CodeReport r;
    for (const Rule* rule : rules)
        r.rules.push_back(rule->name);
    r.findings.push_back({{}, CheckKind::Format, "功能码格式错误"});
    return r;
}

CodeReport Checker::checkBytes(std::span<const Rule* const> rules, Span bytes,
                               bool asciiRow) const {
    CodeReport r;
    for (const Rule* rule : rules) {
        r.rules.push_back(rule->name);
        auto f = checkRule(*rule, bytes, asciiRow);
        r.findings.insert(r.findings.end(), std::make_move_iterator(f.begin()),
                          std::make_move_iterator(f.end()));
    }
    if (r.findings.empty())
        return r;
    r.fixedBytes = repairCode(rules, bytes);
    if (!r.fixedBytes)
        return r;
    const Bytes& b = *r.fixedBytes;
    const bool typedAsText =
        asciiRow && b.size() >= 2 && b.back() == 0x0d &&
        std::all_of(b.begin(), b.end() - 1, [](std::uint8_t c) { return isPrintable(c); });
    if (typedAsText)
        r.fix = TypedCode{std::string(b.begin(), b.end() - 1), true};
    else
        r.fix = TypedCode{pj::link::bytesToCodeText(b), false};
    return r;
}

} // namespace pj::codecheck

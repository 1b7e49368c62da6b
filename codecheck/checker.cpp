#include "codecheck/checker.h"

#include "codecheck/framing.h"
#include "link/codetext.h"

#include <algorithm>

namespace pj::codecheck {

using namespace framing;

namespace {

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

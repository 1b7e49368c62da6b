#include "codecheck/checker.h"

#include "codecheck/framing.h"

#include <algorithm>

namespace pj::codecheck {

using namespace framing;

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

} // namespace pj::codecheck

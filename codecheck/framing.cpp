#include "codecheck/framing.h"

#include <algorithm>

namespace pj::codecheck::framing {

namespace {

bool endsWith(Span bytes, const Bytes& tail) {
    return bytes.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), bytes.end() - static_cast<long>(tail.size()));
}

} // namespace

bool isPrintable(std::uint8_t b) {
    return b >= 0x20 && b <= 0x7e;
}

bool isLineEnd(std::uint8_t b) {
    return b == 0x0d || b == 0x0a;
}

bool isAlnum(std::uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

bool endsACommand(std::uint8_t b) {
    return isAlnum(b) || b == '?' || b == '!';
}

bool isTextEnd(std::uint8_t b) {
    return isLineEnd(b) || b == 0x03 || b == 0x00;
}

long long resolve(int at, std::size_t n) {
    return at < 0 ? static_cast<long long>(n) + at : at;
}

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

std::optional<ChecksumPlace> placeOf(const Checksum& c, std::size_t n) {
    const long long from = resolve(c.from, n), to = resolve(c.to, n), at = resolve(c.at, n);
    const int width = algorithmWidth(c.algorithm);
    if (from < 0 || to < from || to >= static_cast<long long>(n) || at < 0 ||
        at + width > static_cast<long long>(n))
        return std::nullopt;
    return ChecksumPlace{static_cast<std::size_t>(from), static_cast<std::size_t>(to),
                         static_cast<std::size_t>(at), width};
}

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

} // namespace pj::codecheck::framing

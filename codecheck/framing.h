#pragma once
// Inside the checker: where the parts of a code lie under a rule (brackets,
// body, terminator), and the small tests that both the judging
// (checker.cpp) and the correcting (repair.cpp) of a code need. Not part of
// the library's public headers.

#include "codecheck/rules.h"

#include <cstdint>
#include <optional>
#include <span>

namespace pj::codecheck::framing {

using Span = std::span<const std::uint8_t>;

bool isPrintable(std::uint8_t b);
bool isLineEnd(std::uint8_t b); // CR, LF
bool isAlnum(std::uint8_t b);
// The last character of a text command before its closing bracket: a value,
// a '?' (a query) or a '!'.
bool endsACommand(std::uint8_t b);
// Bytes that end a text command: CR, LF, ETX, NUL.
bool isTextEnd(std::uint8_t b);

// A position of the rules (negative: from the end) in a code of n bytes.
long long resolve(int at, std::size_t n);

// The ending of `bytes` among the terminator's endings (the longest), or 0.
std::size_t matchedEnding(const Terminator& t, Span bytes);
// How many bytes at the end look like a terminator (at most two): line ends
// only, or for a text protocol ETX and NUL too; none for a binary one.
std::size_t trailingEnds(Span bytes, bool textual, bool lineEndsOnly);

struct Layout {
    std::size_t n = 0;
    std::size_t termLen = 0;   // bytes taken as the terminator (right or wrong)
    bool termOk = true;        // the terminator is as the rule wants
    std::size_t bodyBegin = 0; // after the start bytes
    std::size_t bodyEnd = 0;   // before the end bytes and the terminator
};
Layout layoutOf(const Rule& rule, Span bytes);

bool lengthOk(const Rule& rule, std::size_t n);
std::optional<std::size_t> lengthFieldValue(const LengthField& f, Span bytes);
bool lengthFieldOk(const Rule& rule, Span bytes);

// The pattern's bytes from `first` on (false when they do not fit).
bool patternAt(const BytePattern& p, Span bytes, long long first);
bool allSingle(const BytePattern& p);
Bytes singleBytes(const BytePattern& p); // the first value of each position

struct ChecksumPlace {
    std::size_t from = 0, to = 0, at = 0; // to inclusive
    int width = 1;
};
std::optional<ChecksumPlace> placeOf(const Checksum& c, std::size_t n);
// The value the checksum should have, as the bytes it takes in the code.
Bytes expectedChecksum(const Checksum& c, const ChecksumPlace& p, Span bytes);

} // namespace pj::codecheck::framing

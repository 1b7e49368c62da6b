#pragma once
// Key codes are kept as text: pairs of hexadecimal digits, usually separated
// by spaces ("a0 01 0d"). These conversions turn that text into the bytes that
// go on the wire, and plain ASCII command text into code text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pj::link {

using Bytes = std::vector<std::uint8_t>;

// 0..15 for 0-9, A-F, a-f; every other character counts as 0.
int hexDigitValue(char c);

// Lenient reading, as the controller path has always read code text: spaces,
// "H" and "h" are skipped where a byte begins, the second character of a pair is
// always taken as a digit, and a lone last digit is dropped.
Bytes codeTextToBytes(std::string_view text);

// Each character as two lowercase hex digits, one space between them, and the
// carriage return " 0d" after the last. An empty text gives "00 0d".
std::string asciiToCodeText(std::string_view ascii);

// Bytes 0..n-2 of the code as characters (the trailing carriage return is not
// shown, a 0x00 byte adds nothing). Returns n, the number of bytes the text holds.
std::size_t codeTextToAscii(std::string_view text, std::string& out);

// Strict reading for text typed by a user: only whole pairs of hex digits,
// separated (or not) by spaces, "H" or "h". Anything else - a lone digit, a
// separator inside a pair, a character that is no hex digit - gives nullopt.
std::optional<Bytes> parseCodeTextStrict(std::string_view text);

// Lowercase hex pairs separated by single spaces ("a0 01 0d").
std::string bytesToCodeText(const Bytes& bytes);

} // namespace pj::link

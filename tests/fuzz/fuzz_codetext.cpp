// Code text: the lenient reading every frame and echo goes through, the strict
// reading of typed text, the canonical writing, and the ASCII conversions.
// The whole input is the text.

#include "link/codetext.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>

using namespace pj::link;

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";

// The bytes written as a user might: each pair in either case, followed by a
// separator the readers skip (" ", "h", "H", "h " ...), chosen by the byte itself.
std::string suffixedText(const Bytes& bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        const char* digits = (b & 1) ? kHexUpper : kHex;
        out += digits[b >> 4];
        out += digits[b & 0x0f];
        switch ((b >> 1) % 4) {
        case 0:
            out += ' ';
            break;
        case 1:
            out += 'h';
            break;
        case 2:
            out += "H ";
            break;
        default:
            break; // pairs run together
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return pj::fuzz::run(data, size, [](pj::fuzz::Input& in) {
        const std::string_view text = in.restText();
        const Bytes raw(text.begin(), text.end());

        for (char c : text) {
            const int v = hexDigitValue(c);
            PJ_FUZZ_CHECK(v >= 0 && v <= 15);
        }

        // Lenient reading: one byte per two characters at most; whatever the
        // strict reading accepts, the lenient one reads the same way.
        const Bytes lenient = codeTextToBytes(text);
        PJ_FUZZ_CHECK(lenient.size() <= text.size() / 2);
        if (const auto strict = parseCodeTextStrict(text))
            PJ_FUZZ_CHECK(*strict == lenient);

        // Canonical text of any bytes reads back as those bytes, both ways, and
        // so does the same text with separators and suffixes.
        const std::string canonical = bytesToCodeText(raw);
        PJ_FUZZ_CHECK(canonical.size() == (raw.empty() ? 0 : raw.size() * 3 - 1));
        PJ_FUZZ_CHECK(codeTextToBytes(canonical) == raw);
        PJ_FUZZ_CHECK(parseCodeTextStrict(canonical) == raw);
        const std::string suffixed = suffixedText(raw);
        PJ_FUZZ_CHECK(codeTextToBytes(suffixed) == raw);
        PJ_FUZZ_CHECK(parseCodeTextStrict(suffixed) == raw);
        PJ_FUZZ_CHECK(codeTextToBytes(bytesToCodeText(lenient)) == lenient);

        // ASCII text as a code: its characters and the carriage return (an
        // empty text is 00 0d); shown again without the return and without NULs.
        const std::string asCode = asciiToCodeText(text);
        Bytes expected = raw.empty() ? Bytes{0x00} : raw;
        expected.push_back(0x0d);
        PJ_FUZZ_CHECK(codeTextToBytes(asCode) == expected);
        PJ_FUZZ_CHECK(parseCodeTextStrict(asCode) == expected);
        std::string shown;
        PJ_FUZZ_CHECK(codeTextToAscii(asCode, shown) == expected.size());
        std::string withoutNul(text);
        withoutNul.erase(std::remove(withoutNul.begin(), withoutNul.end(), '\0'), withoutNul.end());
        PJ_FUZZ_CHECK(shown == withoutNul);

        // Any text shown as ASCII: the count is that of the lenient reading and
        // the last byte is never shown.
        const std::size_t n = codeTextToAscii(text, shown);
        PJ_FUZZ_CHECK(n == lenient.size());
        PJ_FUZZ_CHECK(shown.size() + 1 <= std::max<std::size_t>(n, 1));
    });
}

#include "link/codetext.h"

namespace pj::link {

namespace {
bool isSeparator(char c) {
    return c == ' ' || c == 'H' || c == 'h';
}
bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
constexpr char kLowerHex[] = "0123456789abcdef";
} // namespace

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

Bytes codeTextToBytes(std::string_view text) {
    Bytes out;
    out.reserve(text.size() / 2);
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        if (i + 1 == text.size())
            break; // a lone last digit is dropped
        out.push_back(
            static_cast<std::uint8_t>(hexDigitValue(text[i]) * 16 + hexDigitValue(text[i + 1])));
        i += 2;
    }
    return out;
}

std::string asciiToCodeText(std::string_view ascii) {
    if (ascii.empty())
        return "00 0d";
    std::string out;
    out.reserve(ascii.size() * 3 + 3);
    for (std::size_t i = 0; i < ascii.size(); ++i) {
        const auto b = static_cast<unsigned char>(ascii[i]);
        out.push_back(kLowerHex[b >> 4]);
        out.push_back(kLowerHex[b & 0x0f]);
        if (i + 1 < ascii.size())
            out.push_back(' ');
    }
    out += " 0d";
    return out;
}

std::size_t codeTextToAscii(std::string_view text, std::string& out) {
    const Bytes bytes = codeTextToBytes(text);
    out.clear();
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] != 0)
            out.push_back(static_cast<char>(bytes[i]));
    }
    return bytes.size();
}

std::optional<Bytes> parseCodeTextStrict(std::string_view text) {
    Bytes out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || !isHexDigit(text[i]) || !isHexDigit(text[i + 1]))
            return std::nullopt;
        out.push_back(
            static_cast<std::uint8_t>(hexDigitValue(text[i]) * 16 + hexDigitValue(text[i + 1])));
        i += 2;
    }
    return out;
}

std::string bytesToCodeText(const Bytes& bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out.push_back(' ');
        out.push_back(kLowerHex[bytes[i] >> 4]);
        out.push_back(kLowerHex[bytes[i] & 0x0f]);
    }
    return out;
}

} // namespace pj::link

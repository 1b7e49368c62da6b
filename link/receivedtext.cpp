#include "link/receivedtext.h"

namespace pj::link {

std::string formatReceivedBlock(std::span<const std::uint8_t> block, bool ascii) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(ascii ? block.size() + 1 : block.size() * 3);
    for (const std::uint8_t b : block) {
        if (ascii) {
            if (b != 0)
                out += static_cast<char>(b);
        } else {
            out += kDigits[b >> 4];
            out += kDigits[b & 0x0F];
            out += ' ';
        }
    }
    if (ascii)
        out += ' ';
    return out;
}

} // namespace pj::link

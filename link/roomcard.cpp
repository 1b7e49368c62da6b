#include "link/roomcard.h"

#include <limits>

namespace pj::link {

namespace {
std::uint8_t low8(int v) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(v) & 0xFFu);
}
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
} // namespace

RoomParameterBlock buildRoomBlock(const RoomParameters& p) {
    return {p.offDelayMinutes,
            low8(p.signalSource),
            low8(p.visualizerType),
            static_cast<std::uint8_t>(p.shutdownAlarm ? 1 : 0),
            p.curtainSeconds,
            static_cast<std::uint8_t>(p.oneKey ? 1 : 0),
            static_cast<std::uint8_t>(p.doorNormallyOpen ? 1 : 0),
            static_cast<std::uint8_t>(p.networkMachine ? 1 : 0)};
}

int visualizerNumberFor(const RoomParameters& p) {
    return static_cast<int>((static_cast<std::uint32_t>(p.visualizerType) + 1u) & 0xFFu);
}

std::optional<std::uint8_t> parseRoomNumber(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    if (b == e)
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = b; i < e; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10u + static_cast<unsigned>(c - '0');
        if (value > 0xFFu)
            return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

std::optional<std::uint32_t> parseBaudText(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    if (b == e)
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = b; i < e; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
    }
    if (value == 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<Bytes> buildIdCardFrame(std::string_view cardBytes) {
    if (cardBytes.size() > kMaxCardBytes)
        return std::nullopt;
    Bytes frame;
    frame.reserve(cardBytes.size() + 4);
    frame.push_back(0xCF);
    frame.push_back(0xBB);
    for (char c : cardBytes)
        frame.push_back(static_cast<std::uint8_t>(c));
    frame.push_back(0x02);
    frame.push_back(0x55);
    return frame;
}

} // namespace pj::link

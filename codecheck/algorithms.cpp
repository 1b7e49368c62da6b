#include "codecheck/algorithms.h"

namespace pj::codecheck {

std::optional<Algorithm> algorithmFromName(std::string_view name) {
    if (name == "sum8")
        return Algorithm::Sum8;
    if (name == "or8")
        return Algorithm::Or8;
    if (name == "crc16-modbus")
        return Algorithm::Crc16Modbus;
    return std::nullopt;
}

std::string_view algorithmName(Algorithm algorithm) {
    switch (algorithm) {
    case Algorithm::Sum8:
        return "sum8";
    case Algorithm::Or8:
        return "or8";
    case Algorithm::Crc16Modbus:
        return "crc16-modbus";
    }
    return "";
}

int algorithmWidth(Algorithm algorithm) {
    return algorithm == Algorithm::Crc16Modbus ? 2 : 1;
}

std::uint8_t sum8(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

std::uint8_t or8(std::span<const std::uint8_t> bytes) {
    std::uint8_t v = 0;
    for (std::uint8_t b : bytes)
        v = static_cast<std::uint8_t>(v | b);
    return v;
}

std::uint16_t crc16Modbus(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ b);
        for (int bit = 0; bit < 8; ++bit) {
            const bool low = (crc & 1u) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (low)
                crc = static_cast<std::uint16_t>(crc ^ 0xA001u);
        }
    }
    return crc;
}

std::uint16_t computeChecksum(Algorithm algorithm, std::span<const std::uint8_t> bytes) {
    switch (algorithm) {
    case Algorithm::Sum8:
        return sum8(bytes);
    case Algorithm::Or8:
        return or8(bytes);
    case Algorithm::Crc16Modbus:
        return crc16Modbus(bytes);
    }
    return 0;
}

} // namespace pj::codecheck

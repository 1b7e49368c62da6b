#pragma once
// The checksums projector makers put in their binary commands. A small fixed
// set: the rules file names one of them and says which bytes it covers.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pj::codecheck {

enum class Algorithm {
    Sum8,        // low byte of the sum of the bytes
    Or8,         // bitwise OR of the bytes
    Crc16Modbus, // CRC-16/MODBUS: reflected polynomial A001h, initial FFFFh, no final XOR
};

// "sum8", "or8", "crc16-modbus"; nullopt for any other name.
std::optional<Algorithm> algorithmFromName(std::string_view name);
std::string_view algorithmName(Algorithm algorithm);
// Bytes the value takes in a command: 1 for the 8-bit sums, 2 for the CRC.
int algorithmWidth(Algorithm algorithm);

std::uint8_t sum8(std::span<const std::uint8_t> bytes);
std::uint8_t or8(std::span<const std::uint8_t> bytes);
std::uint16_t crc16Modbus(std::span<const std::uint8_t> bytes);

// The value of `algorithm` over `bytes` (8-bit values in the low byte).
std::uint16_t computeChecksum(Algorithm algorithm, std::span<const std::uint8_t> bytes);

} // namespace pj::codecheck

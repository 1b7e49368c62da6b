#pragma once
// How the receive monitor shows a received block as text.

#include <cstdint>
#include <span>
#include <string>

namespace pj::link {

// Hex mode: two lowercase digits and a space per byte ("41 42 0d "). ASCII
// mode: each byte as one character (a 0x00 byte adds nothing), then one space
// after the block. The characters are the bytes themselves; what they mean
// beyond ASCII is left to the reader (the window shows them as Latin-1).
std::string formatReceivedBlock(std::span<const std::uint8_t> block, bool ascii);

} // namespace pj::link

#pragma once
// The 67-byte frame that programs one function key of the controller, and the
// two ways it is split into writes.

#include "link/codetext.h"
#include "link/edition.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace pj::link {

constexpr std::size_t kCodeFrameSize = 67;
constexpr std::size_t kMaxCodeBytes = 61;      // code area: offsets 4..64
constexpr std::uint8_t kFrameStartMark = 0x3A; // ':'
constexpr std::uint32_t kKeySlots = 18;        // key slots 0..17
constexpr std::uint32_t kMaxParityCode = 2;    // 0 none, 1 odd, 2 even

using CodeFrame = std::array<std::uint8_t, kCodeFrameSize>;

// Offsets: 0 ':', 1 reload, 2 code length, 3 key slot, 4.. code bytes, zero
// padding up to 64, 65 parity, 66 visualizer number (its low 8 bits). nullopt
// for what no frame can carry: a key slot over 17 (slot 256 must not land on
// key 0), a parity code over 2, a code over kMaxCodeBytes (never cut).
std::optional<CodeFrame> buildCodeFrame(std::uint8_t reload, std::uint32_t keyType,
                                        std::uint32_t parity, int visualizerNumber,
                                        std::span<const std::uint8_t> code);

struct FrameChunks {
    std::span<const std::uint8_t> first;
    std::span<const std::uint8_t> second;
};
// colon-first: [0] and [1..66]; header-first: [0..4] and [5..66].
FrameChunks splitFrame(const CodeFrame& frame, Chunking chunking);

} // namespace pj::link

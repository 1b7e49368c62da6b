#include "link/frame.h"

#include <algorithm>

namespace pj::link {

std::optional<CodeFrame> buildCodeFrame(std::uint8_t reload, std::uint32_t keyType,
                                        std::uint32_t parity, int visualizerNumber,
                                        std::span<const std::uint8_t> code) {
    if (keyType >= kKeySlots || parity > kMaxParityCode || code.size() > kMaxCodeBytes)
        return std::nullopt;
    const std::size_t n = code.size();
    CodeFrame f{};
    f[0] = kFrameStartMark;
    f[1] = reload;
    f[2] = static_cast<std::uint8_t>(n);
    f[3] = static_cast<std::uint8_t>(keyType);
    std::copy_n(code.begin(), n, f.begin() + 4);
    f[65] = static_cast<std::uint8_t>(parity);
    f[66] = static_cast<std::uint8_t>(static_cast<unsigned>(visualizerNumber) & 0xFF);
    return f;
}

FrameChunks splitFrame(const CodeFrame& frame, Chunking chunking) {
    const std::size_t cut = chunking == Chunking::ColonFirst ? 1 : 5;
    const std::span<const std::uint8_t> all(frame);
    return {all.first(cut), all.subspan(cut)};
}

} // namespace pj::link

#pragma once
// SHA-256, to tell whether a file changed since it was installed, and the
// digest list kept beside the install record.

#include "install/text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace pj::install {

class Sha256 {
public:
    Sha256();
    void update(std::span<const std::byte> data);
    // The digest as 64 lower-case hexadecimal digits; ends the computation.
    std::string hex();

private:
    void block(const std::uint8_t* p);

    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

std::string sha256Hex(std::span<const std::byte> data);
// nullopt when the file cannot be read.
std::optional<std::string> sha256OfFile(const fs::path& file);

// The digest file: one line per file, "<64 hex digits> <name>" and CR LF,
// names relative to the install folder, UTF-8.
using DigestList = std::map<std::string, std::string>; // name -> hex digest
std::string formatDigestList(const DigestList& list);
DigestList parseDigestList(std::string_view text);

} // namespace pj::install

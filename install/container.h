#pragma once
// The payload of the POSIX setup: numbered resources appended to the end of
// the program file, so that one file carries everything.
//
//   [program][resource bytes ...][table][trailer]
//   table:   count (u32), then per resource: number (u32), offset (u64),
//            size (u64); offsets from the start of the payload
//   trailer: payload size (u64, from the first resource byte to the end of
//            the trailer), table offset (u64), magic "PJSETUP1"
// Integers little-endian.

#include "install/payload.h"

#include <cstdint>
#include <utility>

namespace pj::install {

inline constexpr std::string_view kContainerMagic = "PJSETUP1";
inline constexpr std::size_t kContainerTrailerSize = 24;

// Writes `program` followed by the resources to `out`. false with `error`
// when a file cannot be read or `out` written.
bool writeContainerFile(const fs::path& out, const fs::path& program,
                        const std::vector<std::pair<int, fs::path>>& resources, std::string& error);

// The resources of a file image that ends with a payload (a view: `image`
// must outlive it). nullopt when there is no valid payload at its end.
class ContainerView : public PayloadSource {
public:
    static std::optional<ContainerView> parse(std::span<const std::byte> image);
    std::optional<std::span<const std::byte>> resource(int number) const override;
    // Where the payload begins in the image (the size of the program alone).
    std::size_t payloadStart() const { return start_; }

private:
    std::span<const std::byte> image_;
    std::size_t start_ = 0;
    std::map<int, std::span<const std::byte>> resources_;
};

} // namespace pj::install

#include "install/container.h"

#include <fstream>
#include <iterator>

namespace pj::install {

namespace {

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t getLe(std::span<const std::byte> s, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | std::to_integer<std::uint64_t>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

bool copyFile(std::ofstream& out, const fs::path& from, std::uint64_t& size, std::string& error) {
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        error = "cannot read " + utf8FromPath(from);
        return false;
    }
    std::vector<char> buf(1 << 16);
    size = 0;
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        const auto got = in.gcount();
        if (got > 0) {
            out.write(buf.data(), got);
            size += static_cast<std::uint64_t>(got);
        }
    }
    if (in.bad() || !out) {
        error = "cannot copy " + utf8FromPath(from);
        return false;
    }
    return true;
}

} // namespace

bool writeContainerFile(const fs::path& outPath, const fs::path& program,
                        const std::vector<std::pair<int, fs::path>>& resources,
                        std::string& error) {
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot create " + utf8FromPath(outPath);
        return false;
    }
    std::uint64_t programSize = 0;
    if (!copyFile(out, program, programSize, error))
        return false;
    std::string table;
    putU32(table, static_cast<std::uint32_t>(resources.size()));
    std::uint64_t offset = 0;
    for (const auto& [number, file] : resources) {
        std::uint64_t size = 0;
        if (!copyFile(out, file, size, error))
            return false;
        putU32(table, static_cast<std::uint32_t>(number));
        putU64(table, offset);
        putU64(table, size);
        offset += size;
    }
    const std::uint64_t tableOffset = offset;
    std::string trailer;
    putU64(trailer, tableOffset + table.size() + kContainerTrailerSize);
    putU64(trailer, tableOffset);
    trailer.append(kContainerMagic);
    out.write(table.data(), static_cast<std::streamsize>(table.size()));
    out.write(trailer.data(), static_cast<std::streamsize>(trailer.size()));
    out.close();
    if (!out) {
        error = "cannot write " + utf8FromPath(outPath);
        return false;
    }
    return true;
}

std::optional<ContainerView> ContainerView::parse(std::span<const std::byte> image) {
    if (image.size() < kContainerTrailerSize)
        return std::nullopt;
    const std::size_t t = image.size() - kContainerTrailerSize;
    const std::string_view magic(reinterpret_cast<const char*>(image.data() + t + 16), 8);
    if (magic != kContainerMagic)
        return std::nullopt;
    const std::uint64_t payloadSize = getLe(image, t, 8);
    const std::uint64_t tableOffset = getLe(image, t + 8, 8);
    if (payloadSize > image.size() || payloadSize < kContainerTrailerSize + 4 ||
        tableOffset > payloadSize - kContainerTrailerSize - 4)
        return std::nullopt;
    ContainerView v;
    v.image_ = image;
    v.start_ = image.size() - static_cast<std::size_t>(payloadSize);
    const std::span<const std::byte> payload = image.subspan(v.start_);
    const std::size_t tableEnd = static_cast<std::size_t>(payloadSize) - kContainerTrailerSize;
    std::size_t at = static_cast<std::size_t>(tableOffset);
    const std::uint64_t count = getLe(payload, at, 4);
    at += 4;
    if (count > (tableEnd - at) / 20 || (tableEnd - at) != count * 20)
        return std::nullopt;
    for (std::uint64_t i = 0; i < count; ++i, at += 20) {
        const auto number = static_cast<int>(getLe(payload, at, 4));
        const std::uint64_t offset = getLe(payload, at + 4, 8);
        const std::uint64_t size = getLe(payload, at + 12, 8);
        if (offset > tableOffset || size > tableOffset - offset)
            return std::nullopt;
        v.resources_[number] =
            payload.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    }
    return v;
}

std::optional<std::span<const std::byte>> ContainerView::resource(int number) const {
    const auto it = resources_.find(number);
    if (it == resources_.end())
        return std::nullopt;
    return it->second;
}

} // namespace pj::install

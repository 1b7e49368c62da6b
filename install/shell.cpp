#include "install/shell.h"

#include "install/folders.h"
#include "install/product.h"

namespace pj::install {

namespace {

std::vector<fs::path::string_type> components(const fs::path& p) {
    std::vector<fs::path::string_type> out;
    for (const auto& part : p.lexically_normal()) {
        if (!part.native().empty())
            out.push_back(part.native());
    }
    return out;
}

bool hasForbiddenByte(std::string_view s, std::string_view forbidden) {
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || forbidden.find(c) != std::string_view::npos)
            return true;
    }
    return false;
}

} // namespace

bool isPlainGroupName(std::string_view group) {
    return !group.empty() && group.size() <= kMaxGroupNameBytes && isValidUtf8(group) &&
           group != "." && group != ".." && !hasForbiddenByte(group, "/\\:");
}

bool isValidShortcutName(std::string_view name) {
    if (name.empty() || name.size() > kMaxShortcutNameBytes || !isValidUtf8(name))
        return false;
    if (hasForbiddenByte(name, "/\\:*?\"<>|"))
        return false;
    // Windows drops a trailing dot or space from file names; a leading dot
    // hides the file on POSIX.
    return name.front() != '.' && name.back() != '.' && name.back() != ' ' && name.front() != ' ';
}

bool samePath(const fs::path& a, const fs::path& b) {
    const auto ca = components(a);
    const auto cb = components(b);
    if (ca.size() != cb.size())
        return false;
    for (std::size_t i = 0; i < ca.size(); ++i) {
        if (!pathTextEqual(ca[i], cb[i]))
            return false;
    }
    return true;
}

bool isStrictlyInside(const fs::path& inner, const fs::path& outer) {
    const auto ci = components(inner);
    const auto co = components(outer);
    if (co.empty() || ci.size() <= co.size())
        return false;
    for (std::size_t i = 0; i < co.size(); ++i) {
        if (!pathTextEqual(ci[i], co[i]))
            return false;
    }
    // A ".." left after normalisation climbs out again.
    for (std::size_t i = co.size(); i < ci.size(); ++i) {
        if (ci[i] == fs::path("..").native())
            return false;
    }
    return true;
}

} // namespace pj::install

#include "link/gbk.h"

#include <cerrno>
#include <iconv.h>

namespace pj::link {

namespace {
std::optional<std::string> convert(const char* to, const char* from, std::string_view in) {
    if (in.empty())
        return std::string{};
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(in.size() * 4 + 8, '\0');
    std::string src(in);
    char* inPtr = src.data();
    std::size_t inLeft = src.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    std::optional<std::string> result;
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (rc != static_cast<std::size_t>(-1) && inLeft == 0) {
        // Flush any shift state (none for these encodings, but harmless).
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
            out.resize(out.size() - outLeft);
            result = std::move(out);
        }
    }
    iconv_close(cd);
    return result;
}
} // namespace

// glibc's iconv converts characters it cannot represent with an error (EILSEQ)
// rather than a substitute, so a refused character never becomes '?'. A few it
// leaves out silently instead (the Unicode tag characters U+E0000..U+E007F), so
// a text is only taken when its GBK form reads back as the very same text.
std::optional<std::string> utf8ToGbk(std::string_view utf8) {
    std::optional<std::string> gbk = convert("GBK", "UTF-8", utf8);
    if (gbk && convert("UTF-8", "GBK", *gbk) != utf8)
        return std::nullopt;
    return gbk;
}

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
    return convert("UTF-8", "GBK", gbk);
}

} // namespace pj::link

#include "link/gbk.h"

#include "link/win32/winapi.h"

namespace pj::link {

namespace {
std::optional<std::wstring> toWide(UINT codePage, std::string_view in) {
    if (in.empty())
        return std::wstring{};
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                                      static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0)
        return std::nullopt;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                        w.data(), n);
    return w;
}

std::optional<std::string> fromWide(UINT codePage, const std::wstring& w, bool strict) {
    if (w.empty())
        return std::string{};
    BOOL usedDefault = FALSE;
    BOOL* used = strict ? &usedDefault : nullptr;
    // Strict: a character without its own GBK code is refused, never given a
    // look-alike ("best fit") or the default character.
    const DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : 0;
    const int n = WideCharToMultiByte(codePage, flags, w.data(), static_cast<int>(w.size()),
                                      nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, w.data(), static_cast<int>(w.size()), out.data(), n,
                        nullptr, used);
    return out;
}
} // namespace

std::optional<std::string> utf8ToGbk(std::string_view utf8) {
    auto w = toWide(CP_UTF8, utf8);
    if (!w)
        return std::nullopt;
    return fromWide(936, *w, true);
}

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
    auto w = toWide(936, gbk);
    if (!w)
        return std::nullopt;
    return fromWide(CP_UTF8, *w, false);
}

} // namespace pj::link

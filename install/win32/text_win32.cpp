// Windows: the ANSI code page conversions of the install record.
#include "install/text.h"
#include "install/win32/winapi.h"

namespace pj::install {

namespace win32 {

std::wstring wideFromUtf8(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8FromWide(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

} // namespace win32

std::optional<std::string> utf8ToAnsi(std::string_view utf8) {
    if (!isValidUtf8(utf8))
        return std::nullopt;
    const std::wstring wide = win32::wideFromUtf8(utf8);
    if (wide.empty())
        return std::string();
    BOOL usedDefault = FALSE;
    const int n =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        out.data(), n, nullptr, &usedDefault);
    // A code page without a default-character check (UTF-8 as the ANSI page)
    // is verified by the way back.
    if (usedDefault || ansiToUtf8(out) != std::string(utf8))
        return std::nullopt;
    return out;
}

std::optional<std::string> ansiToUtf8(std::string_view ansi) {
    if (ansi.empty())
        return std::string();
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(),
                                      static_cast<int>(ansi.size()), nullptr, 0);
    if (n <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), static_cast<int>(ansi.size()),
                        wide.data(), n);
    return win32::utf8FromWide(wide);
}

bool recordsPreferAnsi() {
    return true;
}

} // namespace pj::install

#pragma once
// Text and paths. The core keeps user texts in UTF-8; paths are
// std::filesystem::path (UTF-16 on Windows, bytes on POSIX).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pj::install {

namespace fs = std::filesystem;

fs::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const fs::path& p);

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// The machine's ANSI code page for the install record: on Windows the active
// code page (936 on the systems the product serves), with no best-fit
// replacement, so nullopt when a character has no exact form there. On POSIX
// the record is UTF-8 and these pass the bytes through.
std::optional<std::string> utf8ToAnsi(std::string_view utf8);
std::optional<std::string> ansiToUtf8(std::string_view ansi);
// Whether install records are written in the ANSI code page when they fit it
// (Windows), or always in UTF-8 without a byte-order mark (POSIX).
bool recordsPreferAnsi();

} // namespace pj::install

#pragma once
// Text for the controller travels in code page 936 (GBK). POSIX converts with
// iconv; Windows with WideCharToMultiByte(936).

#include <optional>
#include <string>
#include <string_view>

namespace pj::link {

// UTF-8 to GBK; nullopt when the text is not valid UTF-8 or holds a character
// GBK cannot represent. ASCII is unchanged.
std::optional<std::string> utf8ToGbk(std::string_view utf8);
// GBK to UTF-8; nullopt when the bytes are not valid GBK.
std::optional<std::string> gbkToUtf8(std::string_view gbk);

} // namespace pj::link

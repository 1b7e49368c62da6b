#pragma once
// Writing a carried file, and the platform's program file names.

#include "install/text.h"

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace pj::install {

// Creates `file` anew (replacing an old one) with `bytes` in one write. On
// failure the partial file is removed and false returned with `error`
// naming the file.
bool writeWholeFile(const fs::path& file, std::span<const std::byte> bytes, std::string& error);

// fopen(file, "wb") with the platform's path type.
std::FILE* openFileForWriting(const fs::path& file);

// Makes an installed program runnable (POSIX mode 0755; nothing on Windows).
void markExecutable(const fs::path& file);

// The installed uninstaller: "remover.exe" on Windows, "remover" on POSIX.
std::string_view removerFileName();

// The name the installed product's catalogue has.
inline constexpr std::string_view kCatalogueFileName = "projector.mdb";
// The program icon the POSIX payload carries for its menu entries.
inline constexpr std::string_view kIconFileName = "projector.png";

} // namespace pj::install

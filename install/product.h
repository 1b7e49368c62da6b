#pragma once
// The product's fixed names and the numbers of the files setup carries.
// Texts are UTF-8; on Windows they are turned into UTF-16 where they are shown.

#include <cstddef>
#include <string_view>

namespace pj::install {

// Name of the default install folder and of the program group, first line of
// the install record, and the folder the folder browser appends.
inline constexpr std::string_view kProductTitle = "Vantor软件";
// Initial shortcut name and the program shortcut's description.
inline constexpr std::string_view kProductShortTitle = "Vantor";
// Description of the uninstall shortcut, and its name in the program group.
inline constexpr std::string_view kUninstallDescription = "卸载Vantor软件";
inline constexpr std::string_view kUninstallName = "卸载";
inline constexpr std::string_view kSetupTitle = "多媒体集中控制系统";
inline constexpr std::string_view kRemoverTitle = " 卸载程序";

// The record of an installation, and the digests of the files whose later
// change makes them the user's data, both in the install folder.
inline constexpr std::string_view kRecordFileName = "qR.ini";
inline constexpr std::string_view kDigestFileName = "qR.sha256";
inline constexpr std::string_view kPurgerFileName = "purger.dll";

// Limits, in bytes of the encoded text without terminator. Longer texts are
// refused, never cut.
inline constexpr std::size_t kMaxRecordLineBytes = 259;
inline constexpr std::size_t kMaxInstallPathBytes = 199;
inline constexpr std::size_t kMaxShortcutNameBytes = 49;
inline constexpr std::size_t kMaxGroupNameBytes = 49;

// Carried files: resources of type 256 in setup (and remover for the purger).
inline constexpr int kResourceType = 256;
inline constexpr int kLicenceResource = 129;
inline constexpr int kPurgerResource = 100;
inline constexpr int kRemoverResource = 3000;
inline constexpr int kProgramResource = 3001;
inline constexpr int kHelpResource = 3002;
inline constexpr int kManifestResource = 3003;
inline constexpr int kCatalogueResource = 3004;
inline constexpr int kFirstFurtherResource = 3005;
// The table of the carried product files: one line per file, "number<TAB>name".
inline constexpr int kPayloadIndexResource = 2999;

} // namespace pj::install

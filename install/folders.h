#pragma once
// The install folder: its default, the check of a typed folder text, and
// making it with its parents.

#include "install/text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pj::install {

// The proposed install folder (UTF-8): on Windows the folder "Program Files"
// on the drive of the Windows folder, with "Vantor软件" below it; on POSIX
// "~/Vantor软件" for a user and "/opt/Vantor软件" for root.
std::string defaultInstallFolder();

// The notice for a folder text the platform rule refuses, with an example
// path of the platform ("使用非法路径，正常路径如：C:\").
std::string illegalPathNotice();

struct FolderCheck {
    bool ok = false;
    std::string message; // why not, for the notice dialog (Chinese)
};

// Judges a folder text typed on the folder page. The platform rule: on
// Windows the text begins with the root of an existing drive ("C:\", the
// letter in either case); on POSIX it is an absolute path. Besides: at most
// 199 bytes (refused, never cut), no control characters, no "." or ".."
// component, not a drive or file-system root itself.
FolderCheck checkInstallFolder(std::string_view utf8);

// The platform rule alone (drive root on Windows, absolute on POSIX).
bool passesPlatformRule(std::string_view utf8);

// The logical drive roots ("C:\", ...) on Windows; empty on POSIX.
std::vector<std::string> driveRoots();

// Creates `folder` and any missing parents. The folders created, outermost
// first, are appended to `created` (for a rollback). false with `error` when
// the folder does not exist afterwards.
bool createFolderChain(const fs::path& folder, std::vector<fs::path>& created, std::string& error);

// Path texts compared the platform's way: exactly on POSIX, without regard to
// case on Windows.
bool pathTextEqual(const fs::path::string_type& a, const fs::path::string_type& b);

} // namespace pj::install

#pragma once
// Undoing an installation from its record: every listed file, the record and
// its digests, then the program group folder when it is empty. The install
// folder itself stays.
//
// Only what setup could have made is deleted: a line must name a regular file
// strictly inside the install folder (reached without a symbolic link out of
// it), or a shortcut file in the program group folder, on the desktop or one
// of the group's menu files. Anything else (a relative path, "..", the home
// folder, a system file, a link) is skipped and reported, so a damaged or
// hostile record deletes nothing outside those places. A catalogue that
// changed since it was installed is the user's data and stays.

#include "install/shell.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pj::install {

struct RemovalOutcome {
    bool recordFound = false;
    std::vector<fs::path> deleted;
    // Lines not taken and files that could not be deleted, with the reason
    // (Chinese, one line each).
    std::vector<std::string> problems;
    // The changed catalogue that was kept, if any.
    std::optional<fs::path> keptCatalogue;
    bool groupRemoved = false;

    // Everything the record listed is gone (a kept catalogue is intended).
    bool complete() const { return recordFound && problems.empty(); }
};

// Removes the installation recorded in `installFolder`/qR.ini. `progress`
// gets 0..100 after each line.
RemovalOutcome removeInstallation(const fs::path& installFolder, const ShellIntegration& shell,
                                  const std::function<void(int)>& progress = {});

// The message for a kept catalogue (Chinese).
std::string keptCatalogueMessage(const fs::path& file);

} // namespace pj::install

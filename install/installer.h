#pragma once
// Installing the carried files: the install folder, the product files in the
// order of the payload index with the progress, the remover, the record and
// the digests, the program group and the shortcuts. Every failure and every
// cancel rolls back what this run made, so nothing is left half installed and
// nothing is reported as installed that is not.

#include "install/payload.h"
#include "install/shell.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pj::install {

struct InstallOptions {
    fs::path folder;
    std::string shortcutName; // UTF-8
    bool desktopShortcut = true;
};

struct InstallOutcome {
    enum class Status { Installed, Cancelled, Failed };
    Status status = Status::Failed;
    std::string message;            // why it failed, naming the file (Chinese)
    std::vector<std::string> notes; // what the user should know (a kept catalogue)
    std::vector<fs::path> created;  // the files made, in order (record lines 2...)
};

class Installer {
public:
    // `payload` from the source's index (loadPayloadIndex).
    Installer(const PayloadSource& source, std::vector<PayloadEntry> payload,
              ShellIntegration& shell);

    // Everything that can be judged before a byte is written: the folder
    // text, the shortcut name, the carried files, and every record line's
    // length and encoding. The reason (Chinese) or nullopt when all is well.
    std::optional<std::string> check(const InstallOptions& options) const;

    // Installs. `cancel` is looked at before each file and shortcut;
    // `progress` gets 0..100 after each product file (and going down during a
    // rollback). The catalogue already in the folder is kept when it differs
    // from the carried one (it is the user's data).
    InstallOutcome run(const InstallOptions& options, const std::atomic<bool>& cancel,
                       const std::function<void(int)>& progress = {});

private:
    struct Plan;
    std::optional<Plan> makePlan(const InstallOptions& options, std::string& error) const;

    const PayloadSource& source_;
    std::vector<PayloadEntry> payload_;
    ShellIntegration& shell_;
};

} // namespace pj::install

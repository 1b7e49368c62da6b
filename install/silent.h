#pragma once
// The command lines of setup and remover for administrators who deploy to
// many machines:
//
//   setup [--silent [--dir PATH] [--no-desktop]]
//   remover [--silent]
//
// Silent runs show no window; the exit code is 0 only when everything was
// done, otherwise the reason goes to the error stream (2: a bad command line,
// 1: the installation or removal failed).

#include "install/payload.h"
#include "install/removal.h"
#include "install/shell.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pj::install {

struct SetupArgs {
    bool silent = false;
    std::optional<std::string> dir; // UTF-8
    bool noDesktop = false;
    bool help = false;
};

struct RemoverArgs {
    bool silent = false;
    bool help = false;
};

// `args` without the program name, UTF-8. nullopt with `error` (Chinese).
std::optional<SetupArgs> parseSetupArgs(const std::vector<std::string>& args, std::string& error);
std::optional<RemoverArgs> parseRemoverArgs(const std::vector<std::string>& args,
                                            std::string& error);
std::string setupUsage();
std::string removerUsage();

// Installs from `source` into --dir (or the default folder) with the product
// short title as shortcut name. Messages go to `err` (UTF-8).
int runSilentSetup(const SetupArgs& args, const PayloadSource& source, ShellIntegration& shell,
                   std::ostream& err);

// Removes the installation recorded in `installFolder`; reports every
// problem and a kept catalogue to `err`. 0 when the record was found and
// every listed file is gone (a kept catalogue counts as done).
int runSilentRemove(const fs::path& installFolder, const ShellIntegration& shell,
                    std::ostream& err);

} // namespace pj::install

#pragma once
// projector-cli: one small function per command, with injectable streams so
// that commands are tested in-process.

#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace pj::cli {

enum Exit : int {
    kOk = 0,     // success
    kFailed = 1, // the operation was refused or failed (reason on err)
    kUsage = 2,  // the command line is wrong (or asks for a line speed the port cannot take)
};

struct Io {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
};

// args: the words after the command name.
using CommandFn = int (*)(const std::vector<std::string>& args, Io& io);

struct CommandInfo {
    const char* name;
    const char* synopsis; // one usage line
    CommandFn run;
};

// Defined in cmd_link.cpp: ports, detect, write, room, card, monitor.
std::span<const CommandInfo> linkCommands();
// Defined in cmd_catalogue.cpp: catalogue.
std::span<const CommandInfo> catalogueCommands();
// Defined in cmd_send.cpp: send.
std::span<const CommandInfo> sendCommands();
// Defined in cmd_lint.cpp: `catalogue ... lint ...`, taken before the catalogue
// command when the first word after its options is "lint".
extern const char kCatalogueLintSynopsis[];
bool isCatalogueLint(const std::vector<std::string>& args);
int catalogueLintCommand(const std::vector<std::string>& args, Io& io);
// Defined in cmd_commission.cpp: report, commission.
std::span<const CommandInfo> recordCommands();

// argv without the program name.
int runCli(const std::vector<std::string>& args, Io& io);

} // namespace pj::cli

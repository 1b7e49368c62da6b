#pragma once
// projector-cli's commands of the commissioning record: `report` (the room
// report from the record) and `commission` (a rooms file over many ports at
// once), with their surroundings injected as the controller commands have.

#include "cli/command.h"
#include "cli/link_commands.h"

namespace pj::cli {

extern const char kReportSynopsis[];
extern const char kCommissionSynopsis[];

int reportCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);

// How `commission` shows its progress: one line per event, live lines per
// port redrawn in place (a terminal), or JSON events (--json wins).
enum class ProgressStyle { Lines, Live };
int commissionCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env,
                      ProgressStyle style = ProgressStyle::Lines);

} // namespace pj::cli

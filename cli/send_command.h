#pragma once
// projector-cli send: a code straight to the projector at its line settings,
// and what it answers (the link core's testSend).

#include "cli/link_commands.h"

namespace pj::cli {

int sendCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);

} // namespace pj::cli

#include "cli/command.h"

namespace pj::cli {

std::span<const CommandInfo> linkCommands() {
    return {};
}

} // namespace pj::cli

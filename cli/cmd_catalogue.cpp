#include "cli/command.h"

namespace pj::cli {

std::span<const CommandInfo> catalogueCommands() {
    return {};
}

} // namespace pj::cli

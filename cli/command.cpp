#include "cli/command.h"

#include <ostream>

namespace pj::cli {

namespace {
void printUsage(std::ostream& os) {
    os << "用法: projector-cli COMMAND [OPTIONS]\n";
    for (auto table : {linkCommands(), sendCommands(), catalogueCommands(), recordCommands()}) {
        for (const auto& c : table)
            os << "  projector-cli " << c.synopsis << '\n';
    }
    os << "  projector-cli " << kCatalogueLintSynopsis << '\n';
}
} // namespace

int runCli(const std::vector<std::string>& args, Io& io) {
    if (args.empty()) {
        printUsage(io.err);
        return kUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(io.out);
        return kOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "catalogue" && isCatalogueLint(rest))
        return catalogueLintCommand(rest, io);
    for (auto table : {linkCommands(), sendCommands(), catalogueCommands(), recordCommands()}) {
        for (const auto& c : table) {
            if (args[0] == c.name)
                return c.run(rest, io);
        }
    }
    io.err << "未知命令: " << args[0] << '\n';
    printUsage(io.err);
    return kUsage;
}

} // namespace pj::cli

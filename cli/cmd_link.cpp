// projector-cli's controller commands: the command table and the system's
// surroundings. The commands themselves are in cmd_detect.cpp, cmd_write.cpp,
// cmd_room_card.cpp and cmd_monitor.cpp; what they share in link_support.h.

#include "cli/link_support.h"
#include "link/clock.h"
#include "link/serialport.h"

namespace pj::cli {

using namespace linkcmd;

LinkEnv systemLinkEnv() {
    static link::SystemClock clock;
    LinkEnv env;
    env.makePort = [] { return pj::link::makeSystemSerialPort(); };
    env.clock = &clock;
    env.listPorts = [](std::span<const std::string> extra) { return link::availablePorts(extra); };
    return env;
}

std::span<const CommandInfo> linkCommands() {
    static const CommandInfo table[] = {
        {"ports", kPortsSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return portsCommand(a, io, systemLinkEnv());
         }},
        {"detect", kDetectSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return detectCommand(a, io, systemLinkEnv());
         }},
        {"write", kWriteSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return writeCommand(a, io, recordingLinkEnv());
         }},
        {"room", kRoomSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return roomCommand(a, io, recordingLinkEnv());
         }},
        {"card", kCardSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return cardCommand(a, io, recordingLinkEnv());
         }},
        {"monitor", kMonitorSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return monitorCommand(a, io, systemLinkEnv());
         }},
    };
    return table;
}

} // namespace pj::cli

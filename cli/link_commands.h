#pragma once
// projector-cli's controller commands with their surroundings injected: the
// serial port implementation, the clock, the list of present ports and a stop
// flag. The command table uses the system's; tests pass their own.

#include "cli/command.h"
#include "link/clock.h"
#include "link/serialport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace pj::cli {

struct LinkEnv {
    std::function<std::unique_ptr<pj::link::SerialPort>()> makePort;
    pj::link::Clock* clock = nullptr;
    std::function<std::vector<std::string>(std::span<const std::string>)> listPorts;
    // Set (from a signal handler or another thread) to end `monitor` and
    // `write --wait-echo` early.
    std::atomic<bool>* stop = nullptr;
};

// termios ports, the steady clock, the ports present on this machine, SIGINT.
LinkEnv systemLinkEnv();

int portsCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int detectCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int writeCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int roomCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int cardCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int monitorCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);

// The receive monitor's display of one block: hex "41 42 0d " (two lowercase
// digits and a space per byte) or ASCII (each byte as a character, 0x00 adds
// nothing, one space after the block).
std::string formatReceivedBlock(std::span<const std::uint8_t> block, bool ascii);

} // namespace pj::cli

#pragma once
// projector-cli's controller commands with their surroundings injected: the
// serial port implementation, the clock, the list of present ports and a stop
// flag. The command table uses the system's; tests pass their own.

#include "cli/command.h"
#include "link/clock.h"
#include "link/serialport.h"
#include "link/state.h"

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
    // The commissioning record the writing commands keep for a catalogue file
    // (cli/recording.h); unset: none unless --record names one.
    std::function<std::string(const std::string& catalogueFile)> recordFile;
};

// termios ports, the steady clock, the ports present on this machine, SIGINT.
LinkEnv systemLinkEnv();
// The same, keeping the commissioning record beside the catalogue (or where
// PROJECTOR_RECORD says): what the program's command table uses.
LinkEnv recordingLinkEnv();

int portsCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int detectCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int writeCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int roomCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int cardCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);
int monitorCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env);

// A code as `write --code` takes it, SLOT:PARITY:CODETEXT ("0:none:a0 01 0d"):
// the row ticked for writing, or nullopt with the reason in `error`.
std::optional<pj::link::CodeListEntry> parseCodeOption(const std::string& text, std::string& error);
// Rows as `write --keys` takes them, "all" or positions from 0 ("0,2,5"),
// for a model of `count` rows; nullopt with the reason in `error`.
std::optional<std::vector<std::size_t>> parseKeys(const std::string& text, std::size_t count,
                                                  std::string& error);

// The receive monitor's display of one block: hex "41 42 0d " (two lowercase
// digits and a space per byte) or ASCII (each byte as a character, 0x00 adds
// nothing, one space after the block).
std::string formatReceivedBlock(std::span<const std::uint8_t> block, bool ascii);

} // namespace pj::cli

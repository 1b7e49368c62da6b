#pragma once
// A projector on the far end of the line, for the test send: it answers the
// way the makers' manuals describe for a few families. No I/O here; the pty
// host (sim/projectorsim.h) feeds it, unit tests drive it directly.
//
//   epson   ESC/VP21 text commands ending in CR; answers ":" when done, a
//           query with "KEY=value" CR ":", anything it cannot do with
//           "ERR" CR ":". In standby only PWR commands and queries are done.
//   nec     binary commands (header, length, data, checksum); answers the
//           acknowledgement frame (first byte + 20h, its projector ID, data,
//           checksum), an unknown command with an error frame (first byte +
//           A0h, error 00 00); a frame with a wrong checksum is dropped
//           without an answer.
//   silent  takes everything and never answers.
//
// At a line speed other than its own the projector sees only noise and does
// not answer.

#include "sim/controller.h"
#include "sim/event.h"

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pj::sim {

enum class ProjectorFamily { Epson, Nec, Silent };

// "epson", "nec", "silent"
std::optional<ProjectorFamily> projectorFamilyFromName(std::string_view name);
const char* projectorFamilyName(ProjectorFamily family);
// The family's factory line speed: Epson 9600, NEC 38400, silent 9600.
std::uint32_t defaultProjectorBaud(ProjectorFamily family);

// NEC: the projector's own control ID and model code in its answers.
constexpr std::uint8_t kNecProjectorId1 = 0x01;
constexpr std::uint8_t kNecProjectorId2 = 0x20;

struct ProjectorConfig {
    ProjectorFamily family = ProjectorFamily::Epson;
    std::uint32_t baud = 0; // 0: the family's own speed
    bool startOn = false;   // powered on at start (else in standby)
    // Before every answer: how long the projector takes to answer.
    std::chrono::milliseconds replyDelay{0};
    // A command that stops arriving half-way is dropped after this.
    std::chrono::milliseconds partialTimeout{500};
};

class ProjectorCore {
public:
    explicit ProjectorCore(ProjectorConfig config);

    const ProjectorConfig& config() const { return config_; }
    std::uint32_t baud() const { return baud_; }

    // Bytes from the client at `at` while its line was `line`; returns the
    // answer (empty for none). Events go to `events`.
    Bytes receive(std::span<const std::uint8_t> bytes, SteadyTime at, const LineSettings& line,
                  std::vector<Event>& events);

    // Drops a command that stopped arriving.
    void expire(SteadyTime now, std::vector<Event>& events);
    std::optional<SteadyTime> nextDeadline() const;

    bool poweredOn() const { return on_; }
    std::uint8_t input() const { return input_; }
    std::size_t commandsDone() const { return done_; }

private:
    Bytes epsonLine(const std::string& line, std::vector<Event>& events, SteadyTime at);
    Bytes necFrame(const Bytes& frame, std::vector<Event>& events, SteadyTime at);
    void takeEpson(std::span<const std::uint8_t> bytes, SteadyTime at, Bytes& reply,
                   std::vector<Event>& events);
    void takeNec(std::span<const std::uint8_t> bytes, SteadyTime at, Bytes& reply,
                 std::vector<Event>& events);

    ProjectorConfig config_;
    std::uint32_t baud_;
    Bytes partial_;
    SteadyTime lastByteAt_{};

    bool on_ = false;
    std::uint8_t input_ = 0x10;
    bool mute_ = false;
    int volume_ = 10;
    std::size_t done_ = 0;
};

// The NEC checksum: low byte of the sum of `bytes`.
std::uint8_t necChecksum(std::span<const std::uint8_t> bytes);

} // namespace pj::sim

#pragma once
// The controller's behaviour without any I/O: what it does with the bytes that
// arrive from the programming PC and with a key press on its panel. The pty
// simulator feeds it; unit tests drive it directly with chosen times and line
// settings.

#include "link/edition.h"
#include "sim/event.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pj::sim {

using Bytes = std::vector<std::uint8_t>;

enum class ProbePolicy {
    All,   // answer every probe at the programming speed
    First, // answer only the first of each three
    None,  // never answer (a silent unit)
};

// What the simulator can tell of the client's line. A Linux pty keeps the speed
// and PARODD the client sets but always clears PARENB: odd parity is visible,
// even parity cannot be told from none.
struct LineSettings {
    bool clientOpen = true; // someone holds the port open
    std::uint32_t baud = 0; // bits per second; 0 when it cannot be told
    bool parityOdd = false; // PARODD
};

struct ControllerConfig {
    std::uint8_t answerByte = 0x11;
    int editionCode = 21;
    int programmingBaud = 1200;
    int machineType = 1;
    pj::link::Chunking chunking = pj::link::Chunking::HeaderFirst;
    ProbePolicy probes = ProbePolicy::All;
    // Firmware needs the pause between the two chunks of a frame.
    std::chrono::milliseconds minChunkGap{300};
    // A frame, room block or card that stops arriving is dropped after this.
    std::chrono::milliseconds partialTimeout{2500};
    // Probes further apart than this start a new group of three.
    std::chrono::milliseconds probeGroupGap{1000};
};

// Builds the configuration of a controller that answers with `answerByte`.
// machineType: -1 picks the one that matches the answer's programming speed.
// nullopt with a reason when the byte is no answer or the machine type is invalid.
std::optional<ControllerConfig> configForAnswer(std::uint8_t answerByte, int machineType,
                                                std::string& error);

struct StoredKey {
    Bytes code;
    std::uint8_t reload = 0;
    std::uint8_t parity = 0; // 0 none, 1 odd, 2 even (as the frame carries it)
    std::uint8_t visualizer = 0;
    std::uint32_t projectorBaud = 0; // the speed the reload value runs the line at
};

struct RoomBlock {
    std::array<std::uint8_t, 8> bytes{};
    long long gapMs = 0; // from the 0x5A mark to the block
};

struct IdCard {
    Bytes number; // the card number as sent (GBK)
};

// Projector-side speed that `reload` gives with the edition's timer arithmetic
// (group A: 38400 / (256 - reload), group B: 115200 / (256 - reload)).
std::uint32_t projectorBaudFor(pj::link::ReloadGroup group, std::uint8_t reload);

// The same count of bytes, each different from the original: what arrives when
// the two ends of a line disagree on speed or parity.
Bytes garble(std::span<const std::uint8_t> bytes);

class ControllerCore {
public:
    explicit ControllerCore(ControllerConfig config);

    const ControllerConfig& config() const { return config_; }

    // Bytes received from the client at `at` while its line was `line`. Returns
    // what the controller sends back; events go to `events`.
    Bytes receive(std::span<const std::uint8_t> bytes, SteadyTime at, const LineSettings& line,
                  std::vector<Event>& events);

    // Drops a partial frame, room block or card whose time is up.
    void expire(SteadyTime now, std::vector<Event>& events);
    // When expire() has something to do next.
    std::optional<SteadyTime> nextDeadline() const;

    // "press N": the bytes the controller puts on the projector line for key N
    // as the client's line receives them (garbled when speed or parity differ);
    // empty when the key holds no code or nobody listens.
    Bytes press(int key, const LineSettings& line, SteadyTime at, std::vector<Event>& events);

    const std::map<int, StoredKey>& keys() const { return keys_; }
    const std::vector<RoomBlock>& roomBlocks() const { return rooms_; }
    const std::vector<IdCard>& cards() const { return cards_; }

private:
    enum class State { Idle, Frame, RoomMark, CardStart, Card };

    bool atProgrammingSpeed(const LineSettings& line) const;
    void takeByte(std::uint8_t b, SteadyTime at, const LineSettings& line, Bytes& reply,
                  std::vector<Event>& events);
    void probe(SteadyTime at, const LineSettings& line, Bytes& reply, std::vector<Event>& events);
    void finishFrame(SteadyTime at, std::vector<Event>& events);
    void finishCard(SteadyTime at, std::vector<Event>& events);
    void abandon(std::string_view reason, SteadyTime at, std::vector<Event>& events);

    ControllerConfig config_;
    pj::link::ReloadGroup group_;
    std::size_t chunkCut_;

    State state_ = State::Idle;
    Bytes partial_;
    SteadyTime partialStart_{};
    SteadyTime lastByteAt_{};
    SteadyTime beforeCutAt_{}; // arrival of the last byte of the first chunk
    long long cutGapMs_ = -1;  // measured pause between the chunks

    int probesInGroup_ = 0;
    SteadyTime lastProbeAt_{};

    std::map<int, StoredKey> keys_;
    std::vector<RoomBlock> rooms_;
    std::vector<IdCard> cards_;
};

const char* parityName(std::uint32_t parity); // "none", "odd", "even"

} // namespace pj::sim

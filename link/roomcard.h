#pragma once
// The room-parameter block and the ID-card frame, and the reading of the
// numbers a user types into the panel.

#include "link/codetext.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pj::link {

constexpr std::uint8_t kRoomMark = 0x5A; // 'Z', sent 500 ms before the block
constexpr std::size_t kRoomBlockSize = 8;
constexpr std::size_t kMaxCardBytes = 252; // the frame is held in 256 bytes

// The panel's values. Defaults are the panel's initial state.
struct RoomParameters {
    std::uint8_t offDelayMinutes = 1; // see parseRoomNumber
    int signalSource = 0;             // item index 0..4, -1 when none is chosen
    int visualizerType = 1;           // 0 analog, 1 digital, -1 when none is chosen
    bool shutdownAlarm = true;
    std::uint8_t curtainSeconds = 5;
    bool oneKey = false;
    bool doorNormallyOpen = false; // "常开" chosen
    bool networkMachine = false;   // "网络" chosen
};

using RoomParameterBlock = std::array<std::uint8_t, kRoomBlockSize>;

// Offsets: 0 off delay, 1 signal source, 2 visualizer type, 3 alarm,
// 4 curtain seconds, 5 one-key, 6 door normally open, 7 network machine.
// Indexes are sent as their low 8 bits (-1 gives 0xFF).
RoomParameterBlock buildRoomBlock(const RoomParameters& p);

// The visualizer number that code frames carry after a room write: type + 1
// (1 analog, 2 digital). Frames carry its low 8 bits, so for any type the
// result is (type + 1) modulo 256, without overflow: no item chosen (-1) and
// INT_MAX both give 0.
int visualizerNumberFor(const RoomParameters& p);

// A room value typed into the panel (off delay in minutes, curtain time in
// seconds): a whole number 0..255 in decimal digits, blanks around allowed.
// nullopt for anything else - "300" is refused rather than sent as its low
// 8 bits, "12ab", "-1" and an empty field are refused too.
std::optional<std::uint8_t> parseRoomNumber(std::string_view text);

// A line speed typed by the user: decimal digits only (blanks around allowed),
// greater than 0 and within 32 bits; nullopt otherwise.
std::optional<std::uint32_t> parseBaudText(std::string_view text);

// CF BB <card bytes> 02 55. `cardBytes` are already in the controller's
// character set (GBK); nullopt when they exceed kMaxCardBytes (never cut).
std::optional<Bytes> buildIdCardFrame(std::string_view cardBytes);

} // namespace pj::link

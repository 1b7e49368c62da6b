#pragma once
// The controller firmware editions and everything that differs between them:
// the serial-timer reload arithmetic, the programming speed, the detection
// answer byte and the way a code frame is split on the wire.

#include <cstdint>
#include <optional>
#include <span>

namespace pj::link {

enum class ReloadGroup {
    A, // 14.7456 MHz crystal, normal baud rate: reload = 256 - 38400 / baud
    B, // 22.1184 MHz crystal, doubled baud rate: reload = 256 - 115200 / baud
};

enum class Chunking {
    ColonFirst,  // ":" alone, 400 ms, the other 66 bytes
    HeaderFirst, // bytes 0..4, 400 ms, the other 62 bytes
};

struct ControllerEdition {
    int code;                // editionCode: 21, 22, 31, 2006, 2007, 2008, 2009
    const char* label;       // UTF-8, as the settings dialog lists it
    int listPosition;        // row in the settings dialog's list
    const char* crystal;     // text shown beside the labels
    ReloadGroup group;       //
    int baudStandalone;      // programming speed with machineType 0
    int baudNetwork;         // programming speed with machineType 1
    bool chunkByMachineType; // header-first for network units, colon-first for standalone
};

// All seven, in list order ("Cendo版" first).
std::span<const ControllerEdition> controllerEditions();
const ControllerEdition* findEdition(int editionCode);

// Whether the edition's frames depend on machineType (editions 21, 22, 2006).
bool editionNeedsMachineType(int editionCode);

// Programming speed of an edition for a machine type; nullopt for an unknown
// edition. Editions without a machine type ignore it.
std::optional<int> programmingBaud(int editionCode, int machineType);

// Chunking for an edition and machine type; nullopt when the edition depends on
// the machine type and machineType is neither 0 nor 1, or the edition is unknown.
std::optional<Chunking> chunkingFor(int editionCode, int machineType);

// Reload byte that makes the controller run its projector line at `baud`.
// Group A: exact for 1200..38400, 0xFF for every other speed. Group B: exact for
// 1200..115200; nullopt for a speed the table does not hold (and an unknown edition).
std::optional<std::uint8_t> reloadByte(int editionCode, std::uint32_t baud);

// Group A speeds outside 1200..38400 get 0xFF, which runs the line at 38400:
// true when the projector line cannot really run at `baud` with this edition.
bool reloadIsApproximate(int editionCode, std::uint32_t baud);

// The detection answer: 0xAA followed by one of these edition bytes.
struct DetectedEdition {
    int editionCode;
    int controllerBaud;
};
std::optional<DetectedEdition> editionForAnswerByte(std::uint8_t byte);
// The answer byte a controller of this edition at this programming speed sends.
std::optional<std::uint8_t> answerByteFor(int editionCode, int controllerBaud);

} // namespace pj::link

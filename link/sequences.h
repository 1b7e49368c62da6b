#pragma once
// The controller operations: writing the selected codes, the room parameters
// and the ID card, and echo confirmation. Each runs synchronously on the
// calling thread (a worker thread in the window program), with every pause of
// the protocol taken on the channel's clock, and reports through a
// SequenceObserver.
//
// Timing on the wire (fixed by the controller firmware, never scaled):
//   code frame   first chunk, 400 ms, second chunk, 900 ms, (progress 100), 900 ms
//   room block   0x5A, 500 ms, 8 bytes, 100 ms, (progress 100), 20 ms
//   ID card      frame, 100 ms, (progress 100), 20 ms
// Every write adds the channel's 50 ms settle and drain.
//
// Before anything is written, the code and room sequences try the line they
// will listen on afterwards (the projector's speed and parity): a port that
// cannot take it refuses the operation instead of sending frames it could not
// hear the echo of. A device lost at any point ends the operation as failed.
//
// A stop request ends a sequence at its next pause. The pause inside a frame
// (and between the room mark and its block) is not one of them: half a frame
// would leave the controller waiting for the rest, and it would take the next
// operation's bytes for it. So a frame begun is finished, and the sequence
// stops at the pause after it.

#include "link/frame.h"
#include "link/observer.h"
#include "link/roomcard.h"
#include "link/serialchannel.h"
#include "link/state.h"

#include <cstddef>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

namespace pj::link {

constexpr Millis kChunkPause{400};
constexpr Millis kAfterFramePause{900}; // twice per frame
constexpr Millis kRoomMarkPause{500};
constexpr Millis kEndPause{100};
constexpr Millis kEndSettle{20};

enum class SequenceOutcome {
    Completed,    // every step ran (single rows may have been refused)
    Refused,      // the settings make the write impossible; nothing was opened
    Cancelled,    // the user declined the speed warning; nothing was opened
    PortFailed,   // the port could not be opened; nothing was written
    WriteFailed,  // the device went away or a write failed; the sequence stopped
    LineRefused,  // the port cannot listen at the projector's line (or its speed
                  // is 0); nothing was written
    ListenFailed, // everything went out, but the device went away afterwards or
                  // could not be reopened to listen
    Stopped,      // a stop request ended the sequence at a pause
};

struct SequenceResult {
    SequenceOutcome outcome = SequenceOutcome::Completed;
    std::string message;          // the text reported to the user, empty when completed
    std::size_t rowsSelected = 0; // code rows ticked for writing
    std::size_t rowsWritten = 0;  // code rows whose frame went out
    std::size_t rowsRefused = 0;  // code rows refused (see codeRowRefusal)
    bool listening = false;       // the channel was reopened to listen afterwards
    bool ok() const { return outcome == SequenceOutcome::Completed; }
};

// Checks that need no port: a projector speed above 0, a known edition, a
// machine type for editions 21, 22, 2006, a reload value for the projector
// speed (group B). nullopt when the write may go ahead, else the refusal text.
std::optional<std::string> checkCodeWriteSettings(const ShellState& shell,
                                                  std::uint32_t projectorBaud);

// Why a code row cannot go into a frame: a key slot outside 0..17, a parity
// code above 2, a code over 61 bytes. nullopt when it can.
std::optional<std::string> codeRowRefusal(const CodeListEntry& row);

// Writes the frame of every selected row of `model` at the edition's
// programming speed (shell.controllerBaud, no parity) on shell.portName, then
// reopens the channel at model.selectedBaud with model.lastParity to listen
// for echoes (standing receive handler). Progress per row 50 / 100 / 0. Sets
// model.lastParity and each written row's status (Unconfirmed); the caller
// must not touch `model` meanwhile (or pass a copy and apply the reports).
// Rows that cannot go into a frame are refused one by one (rowRefused). A
// stop ends the write with the channel closed and the message
// "写码已停止：已写入 N 个功能码（共 M 个）".
SequenceResult writeSelectedCodes(SerialChannel& channel, const ShellState& shell,
                                  SelectedModel& model, SequenceObserver& observer,
                                  std::stop_token stop = {});

// Sends one code frame on the open channel with the edition's chunking; no
// checks beyond those of the frame (code at most 61 bytes). Returns the first
// failed write, or an Ok result.
WriteResult sendCodeFrame(SerialChannel& channel, const CodeFrame& frame, Chunking chunking);

// 0x5A, 500 ms, the 8-byte block; progress 30 / 60 / 100 / 0. Sets
// shell.visualizerNumber from the visualizer type, then reopens the channel at
// `listenBaud` (the model's selectedBaud) with no parity.
SequenceResult writeRoomParameters(SerialChannel& channel, ShellState& shell,
                                   const RoomParameters& params, std::uint32_t listenBaud,
                                   SequenceObserver& observer, std::stop_token stop = {});

// The ID-card frame with the card number (UTF-8 here, GBK on the wire);
// progress 100 / 0. An empty number sends nothing but opens and closes the
// port all the same. A number over 252 GBK bytes, or one with characters GBK
// lacks or control characters, is refused before the port is opened. The
// channel stays closed. A device lost before the end fails the write (the
// frame may not have left it).
SequenceResult writeIdCard(SerialChannel& channel, const ShellState& shell,
                           std::string_view cardNumberUtf8, SequenceObserver& observer,
                           std::stop_token stop = {});

// Echo confirmation: the first row whose code bytes equal `block` exactly gets
// status Confirmed; returns its index. A partial code, a code with bytes added
// or two codes in one block match nothing.
std::optional<std::size_t> matchEcho(CodeList& rows, std::span<const std::uint8_t> block);

} // namespace pj::link

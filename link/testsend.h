#pragma once
// Test send: one code straight to the projector at the projector's own line
// settings, and whatever comes back within a wait, so that a code is proven on
// the real projector before it is written into any controller. The controller
// is not involved: the PC's port is cabled to the projector.
//
// Runs synchronously on the calling thread (a worker thread in the window
// program) with every pause on the channel's clock; leaves the channel closed.

#include "link/serialchannel.h"

#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace pj::link {

namespace msg {
inline constexpr const char* kEmptyCode = "功能码为空，没有发送";
inline constexpr const char* kNoAnswer = "投影机在 %1 毫秒内没有应答";
inline constexpr const char* kPortRefusedSettings = "串口 %1 不接受这些设置，没有发送";
inline constexpr const char* kTestSendStopped = "试发已停止";
} // namespace msg

constexpr Millis kTestSendStep{10}; // how often the wait looks for received bytes
constexpr Millis kDefaultTestSendWait{1000};

struct TestSendRequest {
    std::string portName;
    LineSettings line;                  // the projector's speed and parity (8 data bits, 1 stop)
    Bytes code;                         // sent as it is, in one write
    Millis wait = kDefaultTestSendWait; // listening time after the code has gone out
};

enum class TestSendOutcome {
    Answered,        // bytes came back within the wait
    NoAnswer,        // the code went out, nothing came back
    Refused,         // nothing to send; the port was not touched
    PortUnavailable, // the port is absent or held by another program
    PortFailed,      // the port opened but refused the settings (the channel said why)
    WriteFailed,     // the write failed or took too long (the channel said why)
    DeviceLost,      // the device went away
    Stopped,         // a stop was requested
};

struct ReceivedBlock {
    Millis at{0}; // from the moment the code was handed to the port
    Bytes bytes;
};

struct TestSendResult {
    TestSendOutcome outcome = TestSendOutcome::NoAnswer;
    std::string message;               // the user's text; empty when answered
    std::vector<ReceivedBlock> blocks; // in arrival order (also when stopped or lost)
    Millis sendTime{0};                // the write, its settle and drain

    bool answered() const { return outcome == TestSendOutcome::Answered; }
    Bytes answer() const; // every received byte in order
    // When the first byte was seen, from the moment the code was handed to the
    // port: to within the wait's step or the channel's 20 ms read settle.
    std::optional<Millis> firstByte() const;
};

// Opens `request.portName` at the request's settings with a receive handler of
// its own, writes the code, listens until `request.wait` has passed after the
// write, and closes the channel. Every block received in that time is kept
// with its time; a stop request ends the wait early.
TestSendResult testSend(SerialChannel& channel, const TestSendRequest& request,
                        std::stop_token stop = {});

// Received bytes as text a person can read: printable ASCII as it is, CR, LF
// and TAB as \r, \n, \t, a backslash doubled, every other byte as \xNN.
std::string answerText(std::span<const std::uint8_t> bytes);

} // namespace pj::link

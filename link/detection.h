#pragma once
// Finding the controller: on each port the probe 0xAA goes out three times,
// 200 ms apart, at 600, 1200, 9600 and 115200 baud; a controller answers 0xAA
// and its edition byte at its programming speed.

#include "link/edition.h"
#include "link/observer.h"
#include "link/serialchannel.h"
#include "link/state.h"

#include <array>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace pj::link {

constexpr std::uint8_t kProbeByte = 0xAA;
constexpr std::array<std::uint32_t, 4> kDetectionSpeeds{600, 1200, 9600, 115200};
constexpr int kProbesPerSpeed = 3;
constexpr Millis kProbePause{200};

// The answer in one received block: wherever 0xAA is followed by a byte of the
// answer table; the last recognised pair decides. Blocks shorter than two bytes
// and an 0xAA at the very end give nothing.
std::optional<DetectedEdition> findDetectionAnswer(std::span<const std::uint8_t> block);

// A port the scan could not use, and why (openFailureText, or the loss).
struct PortProblem {
    std::string port;
    PortOpenStatus status = PortOpenStatus::Unavailable;
    std::string message;
};

struct DetectionResult {
    bool found = false;
    bool stopped = false; // a stop was requested before anything was found
    std::string portName; // where the answer came from
    DetectedEdition edition{};
    std::vector<PortProblem> unusable; // in scan order, each port once
};

// Scans `ports` in the order given. Ports that cannot be opened (absent, busy,
// not permitted, refusing the settings) are skipped at once and listed in
// `unusable` with the reason; a port lost during the scan is listed too;
// the answer is looked for in every block the channel receives; the scan ends
// at the first recognised answer, at a stop request (checked before every probe
// and after every pause), or after the last port. Progress rises with every
// probe and is 100 when the scan ends without an answer. The channel is closed
// afterwards.
DetectionResult detectionScan(SerialChannel& channel, std::span<const std::string> ports,
                              SequenceObserver& observer, std::stop_token stop = {});

// A found controller sets editionCode, controllerBaud and portName; machineType
// is left as it is. Nothing changes when nothing was found.
void applyDetection(ShellState& shell, const DetectionResult& result);

} // namespace pj::link

#include "link/detection.h"

#include "link/messages.h"

#include <memory>
#include <mutex>

namespace pj::link {

std::optional<DetectedEdition> findDetectionAnswer(std::span<const std::uint8_t> block) {
    std::optional<DetectedEdition> last;
    std::size_t i = 0;
    while (i + 1 < block.size()) {
        if (block[i] != kProbeByte) {
            ++i;
            continue;
        }
        if (auto e = editionForAnswerByte(block[i + 1])) {
            last = e; // every recognised pair is applied; the last one decides
            i += 1;   // go on after the 0xAA
        } else {
            i += 2; // go on after the byte that is no edition
        }
    }
    return last;
}

namespace {
// The answer as the receive handler found it; shared with the handler, which
// the channel may keep until its next open.
struct AnswerSlot {
    std::mutex mutex;
    std::optional<DetectedEdition> answer;
};
} // namespace

DetectionResult detectionScan(SerialChannel& channel, std::span<const std::string> ports,
                              SequenceObserver& observer, std::stop_token stop) {
    DetectionResult result;
    Clock& clock = channel.clock();
    auto slot = std::make_shared<AnswerSlot>();
    auto handler = [slot](Bytes block) {
        if (auto e = findDetectionAnswer(block)) {
            std::lock_guard lock(slot->mutex);
            slot->answer = e;
        }
    };
    auto takeAnswer = [&]() -> std::optional<DetectedEdition> {
        std::lock_guard lock(slot->mutex);
        return slot->answer;
    };

    constexpr std::size_t kProbesPerPort = kDetectionSpeeds.size() * kProbesPerSpeed;
    const std::size_t total = ports.size() * kProbesPerPort;
    std::size_t probe = 0; // probes done or skipped so far, over all ports
    auto showProgress = [&] {
        // Rises with every probe; 100 is kept for the end of a fruitless scan.
        observer.progress(static_cast<int>(1 + probe * 98 / (total ? total : 1)));
    };

    for (const std::string& port : ports) {
        const std::size_t portStart = probe;
        if (stop.stop_requested()) {
            result.stopped = true;
            break;
        }
        bool portDone = false;
        for (std::size_t b = 0; b < kDetectionSpeeds.size() && !portDone; ++b) {
            const LineSettings line{kDetectionSpeeds[b], 8, 0, 1};
            if (channel.open(port, line, handler) != OpenResult::Opened) {
                // Absent, busy, not permitted or unconfigurable: the port
                // costs nothing more.
                const PortOpenStatus status = channel.lastOpenStatus();
                result.unusable.push_back({port, status, openFailureText(port, status)});
                portDone = true;
                break;
            }
            for (int k = 0; k < kProbesPerSpeed; ++k) {
                if (stop.stop_requested()) {
                    result.stopped = true;
                    channel.close();
                    return result;
                }
                showProgress();
                const std::uint8_t probeByte[] = {kProbeByte};
                const WriteResult w = channel.write(probeByte);
                // A probe that could not leave in time (a slow adapter) is
                // no lost port: the scan goes on there.
                if (w.status != IoStatus::Ok && w.status != IoStatus::TimedOut) {
                    const std::string why = w.status == IoStatus::DeviceLost
                                                ? msg::formatMessage(msg::kPortLost, port)
                                                : msg::formatMessage(msg::kWriteFailed, port);
                    result.unusable.push_back({port, PortOpenStatus::Unavailable, why});
                    portDone = true; // go on with the next port
                    break;
                }
                clock.sleep(kProbePause);
                channel.pollReceived();
                ++probe;
                if (auto answer = takeAnswer()) {
                    result.found = true;
                    result.portName = port;
                    result.edition = *answer;
                    channel.close();
                    return result;
                }
            }
            channel.close();
        }
        channel.close();
        probe = portStart + kProbesPerPort;
    }
    channel.close();
    if (!result.stopped)
        observer.progress(100);
    return result;
}

void applyDetection(ShellState& shell, const DetectionResult& result) {
    if (!result.found)
        return;
    shell.editionCode = result.edition.editionCode;
    shell.controllerBaud = result.edition.controllerBaud;
    shell.portName = result.portName;
}

} // namespace pj::link

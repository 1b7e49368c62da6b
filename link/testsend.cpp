#include "link/testsend.h"

#include "link/messages.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace pj::link {

Bytes TestSendResult::answer() const {
    Bytes out;
    for (const auto& b : blocks)
        out.insert(out.end(), b.bytes.begin(), b.bytes.end());
    return out;
}

std::optional<Millis> TestSendResult::firstByte() const {
    if (blocks.empty())
        return std::nullopt;
    return blocks.front().at;
}

namespace {

// What the receive handler collects; shared with it, as the channel may keep
// the handler until its next open.
struct Collected {
    std::mutex mutex;
    Millis start{0};
    std::vector<ReceivedBlock> blocks;
};

} // namespace

TestSendResult testSend(SerialChannel& channel, const TestSendRequest& request,
                        std::stop_token stop) {
    TestSendResult result;
    auto finish = [&](TestSendOutcome outcome, std::string message) {
        result.outcome = outcome;
        result.message = std::move(message);
        return result;
    };
    if (request.code.empty())
        return finish(TestSendOutcome::Refused, msg::kEmptyCode);

    Clock& clock = channel.clock();
    auto collected = std::make_shared<Collected>();
    auto handler = [collected, &clock](Bytes block) {
        std::lock_guard lock(collected->mutex);
        collected->blocks.push_back({clock.now() - collected->start, std::move(block)});
    };
    auto takeBlocks = [&] {
        std::lock_guard lock(collected->mutex);
        result.blocks = collected->blocks;
    };

    switch (channel.open(request.portName, request.line, handler)) {
    case OpenResult::Opened:
        break;
    case OpenResult::Unavailable: // absent, busy, not permitted: said which
        return finish(TestSendOutcome::PortUnavailable,
                      openFailureText(request.portName, channel.lastOpenStatus()));
    case OpenResult::SettingsFailed:
        return finish(TestSendOutcome::PortFailed,
                      msg::formatMessage(msg::kPortRefusedSettings, request.portName));
    }
    if (stop.stop_requested()) {
        channel.close();
        return finish(TestSendOutcome::Stopped, msg::kTestSendStopped);
    }

    const Millis start = clock.now();
    {
        std::lock_guard lock(collected->mutex);
        collected->start = start;
    }
    const WriteResult w = channel.write(request.code);
    result.sendTime = clock.now() - start;
    if (w.status == IoStatus::DeviceLost) {
        channel.close();
        takeBlocks();
        return finish(TestSendOutcome::DeviceLost,
                      msg::formatMessage(msg::kPortLost, request.portName));
    }
    if (!w.ok()) {
        channel.close();
        takeBlocks();
        return finish(TestSendOutcome::WriteFailed,
                      w.status == IoStatus::TimedOut
                          ? std::string(msg::kWriteTooLong)
                          : msg::formatMessage(msg::kWriteFailed, request.portName));
    }

    const Millis deadline = clock.now() + request.wait;
    bool stopped = false;
    while (clock.now() < deadline) {
        if (stop.stop_requested()) {
            stopped = true;
            break;
        }
        if (channel.deviceLost())
            break;
        clock.sleep(std::min(kTestSendStep, deadline - clock.now()));
        channel.pollReceived();
    }
    const bool lost = channel.deviceLost();
    if (!lost)
        channel.pollReceived();
    channel.close();
    takeBlocks();
    if (lost)
        return finish(TestSendOutcome::DeviceLost,
                      msg::formatMessage(msg::kPortLost, request.portName));
    if (stopped)
        return finish(TestSendOutcome::Stopped, msg::kTestSendStopped);
    if (result.blocks.empty())
        return finish(TestSendOutcome::NoAnswer,
                      msg::formatMessage(msg::kNoAnswer, std::to_string(request.wait.count())));
    return finish(TestSendOutcome::Answered, {});
}

std::string answerText(std::span<const std::uint8_t> bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        if (b == '\r') {
            out += "\\r";
        } else if (b == '\n') {
            out += "\\n";
        } else if (b == '\t') {
            out += "\\t";
        } else if (b == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b < 0x7f) {
            out += static_cast<char>(b);
        } else {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 0x0F];
        }
    }
    return out;
}

} // namespace pj::link

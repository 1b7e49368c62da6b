#include "sim/projector.h"

#include <algorithm>
#include <cstdio>

namespace pj::sim {

namespace {

constexpr std::size_t kMaxEpsonLine = 256;
constexpr std::uint8_t kCR = 0x0d;

Bytes text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

bool isHexPair(std::string_view s) {
    auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    return s.size() == 2 && hex(s[0]) && hex(s[1]);
}

bool isNumber(std::string_view s) {
    return !s.empty() && s.size() <= 3 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<ProjectorFamily> projectorFamilyFromName(std::string_view name) {
    if (name == "epson")
        return ProjectorFamily::Epson;
    if (name == "nec")
        return ProjectorFamily::Nec;
    if (name == "silent")
        return ProjectorFamily::Silent;
    return std::nullopt;
}

const char* projectorFamilyName(ProjectorFamily family) {
    switch (family) {
    case ProjectorFamily::Epson:
        return "epson";
    case ProjectorFamily::Nec:
        return "nec";
    case ProjectorFamily::Silent:
        return "silent";
    }
    return "";
}

std::uint32_t defaultProjectorBaud(ProjectorFamily family) {
    return family == ProjectorFamily::Nec ? 38400 : 9600;
}

std::uint8_t necChecksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint8_t>(sum & 0xFF);
}

ProjectorCore::ProjectorCore(ProjectorConfig config)
    : config_(config)
    , baud_(config.baud ? config.baud : defaultProjectorBaud(config.family))
    , on_(config.startOn) {}

Bytes ProjectorCore::receive(std::span<const std::uint8_t> bytes, SteadyTime at,
                             const LineSettings& line, std::vector<Event>& events) {
    Bytes reply;
    if (line.baud != baud_) {
        // At another speed every byte is a framing error to the projector's UART.
        Event e("noise", at);
        e.addHex("bytes", bytes).add("baud", line.baud).add("reason", "speed");
        events.push_back(std::move(e));
        partial_.clear();
        return reply;
    }
    lastByteAt_ = at;
    switch (config_.family) {
    case ProjectorFamily::Epson:
        takeEpson(bytes, at, reply, events);
        break;
    case ProjectorFamily::Nec:
        takeNec(bytes, at, reply, events);
        break;
    case ProjectorFamily::Silent:
        break;
    }
    if (!reply.empty()) {
        Event e("answer", at);
        e.addHex("bytes", reply);
        events.push_back(std::move(e));
    }
    return reply;
}

void ProjectorCore::expire(SteadyTime now, std::vector<Event>& events) {
    if (partial_.empty() || now - lastByteAt_ < config_.partialTimeout)
        return;
    Event e("rejected", now);
    e.add("what", "command").add("reason", "incomplete").addHex("bytes", partial_);
    events.push_back(std::move(e));
    partial_.clear();
}

std::optional<SteadyTime> ProjectorCore::nextDeadline() const {
    if (partial_.empty())
        return std::nullopt;
    return lastByteAt_ + config_.partialTimeout;
}

// ---- Epson ESC/VP21 ---------------------------------------------------------------

void ProjectorCore::takeEpson(std::span<const std::uint8_t> bytes, SteadyTime at, Bytes& reply,
                              std::vector<Event>& events) {
    for (std::uint8_t b : bytes) {
        if (b == kCR) {
            const std::string line(partial_.begin(), partial_.end());
            partial_.clear();
            const Bytes r = epsonLine(line, events, at);
            reply.insert(reply.end(), r.begin(), r.end());
        } else if (b != 0x0a) {
            partial_.push_back(b);
            if (partial_.size() > kMaxEpsonLine) {
                partial_.clear();
                const Bytes r = text("ERR\r:");
                reply.insert(reply.end(), r.begin(), r.end());
            }
        }
    }
}

Bytes ProjectorCore::epsonLine(const std::string& line, std::vector<Event>& events, SteadyTime at) {
    std::string cmd = upper(line);
    while (!cmd.empty() && cmd.back() == ' ')
        cmd.pop_back();
    const auto space = cmd.find(' ');
    const std::string key = cmd.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : cmd.substr(space + 1);
    Bytes answer;
    bool ok = true;
    char value[16];
    if (cmd.empty()) {
        answer = text(":"); // a bare CR asks for the prompt
    } else if (cmd == "PWR?") {
        answer = text(on_ ? "PWR=01\r:" : "PWR=00\r:");
    } else if (key == "PWR" && (arg == "ON" || arg == "OFF")) {
        on_ = arg == "ON";
        answer = text(":");
    } else if (!on_) {
        ok = false; // in standby only the power commands are done
    } else if (cmd == "SOURCE?") {
        std::snprintf(value, sizeof value, "SOURCE=%02X\r:", input_);
        answer = text(value);
    } else if (key == "SOURCE" && isHexPair(arg)) {
        input_ = static_cast<std::uint8_t>(std::stoi(arg, nullptr, 16));
        answer = text(":");
    } else if (cmd == "MUTE?") {
        answer = text(mute_ ? "MUTE=ON\r:" : "MUTE=OFF\r:");
    } else if (key == "MUTE" && (arg == "ON" || arg == "OFF")) {
        mute_ = arg == "ON";
        answer = text(":");
    } else if (cmd == "VOL?") {
        std::snprintf(value, sizeof value, "VOL=%d\r:", volume_);
        answer = text(value);
    } else if (key == "VOL" && (arg == "INC" || arg == "DEC" || isNumber(arg))) {
        volume_ = arg == "INC"   ? std::min(volume_ + 1, 20)
                  : arg == "DEC" ? std::max(volume_ - 1, 0)
                                 : std::min(std::stoi(arg), 20);
        answer = text(":");
    } else if (key == "KEY" && isHexPair(arg)) {
        answer = text(":");
    } else {
        ok = false;
    }
    if (!ok)
        answer = text("ERR\r:");
    else if (!cmd.empty())
        ++done_;
    Event e("command", at);
    e.add("family", "epson").add("text", line).add("done", ok);
    events.push_back(std::move(e));
    return answer;
}

// ---- NEC binary -------------------------------------------------------------------

void ProjectorCore::takeNec(std::span<const std::uint8_t> bytes, SteadyTime at, Bytes& reply,
                            std::vector<Event>& events) {
    partial_.insert(partial_.end(), bytes.begin(), bytes.end());
    while (partial_.size() >= 5) {
        const std::size_t total = std::size_t{partial_[4]} + 6;
        if (partial_.size() < total)
            break;
        const Bytes frame(partial_.begin(), partial_.begin() + static_cast<long>(total));
        partial_.erase(partial_.begin(), partial_.begin() + static_cast<long>(total));
        const Bytes r = necFrame(frame, events, at);
        reply.insert(reply.end(), r.begin(), r.end());
    }
}

Bytes ProjectorCore::necFrame(const Bytes& frame, std::vector<Event>& events, SteadyTime at) {
    Event e("command", at);
    e.add("family", "nec").addHex("bytes", frame);
    const std::span<const std::uint8_t> body(frame.data(), frame.size() - 1);
    if (necChecksum(body) != frame.back()) {
        e.add("done", false).add("reason", "checksum");
        events.push_back(std::move(e));
        return {}; // a damaged frame is not answered
    }
    const std::uint8_t kind = frame[0], cmd = frame[1], len = frame[4];
    const std::uint8_t* data = frame.data() + 5;
    Bytes answerData;
    bool known = true;
    if (kind == 0x02 && (cmd == 0x00 || cmd == 0x01) && len == 0) {
        on_ = cmd == 0x00;
    } else if (kind == 0x02 && cmd == 0x03 && len == 2 && data[0] == 0x01) {
        input_ = data[1];
        answerData = {0x00}; // switched
    } else if (kind == 0x02 && cmd >= 0x10 && cmd <= 0x13 && len == 0) {
        mute_ = (cmd & 1) == 0;
    } else if (kind == 0x03 && cmd == 0x10 && len == 5) {
        answerData = {0x00, 0x00}; // adjusted
    } else {
        known = false;
    }
    Bytes answer;
    if (known) {
        answer = {static_cast<std::uint8_t>(kind | 0x20), cmd, kNecProjectorId1, kNecProjectorId2,
                  static_cast<std::uint8_t>(answerData.size())};
        answer.insert(answer.end(), answerData.begin(), answerData.end());
        ++done_;
    } else {
        answer = {static_cast<std::uint8_t>(kind | 0xA0),
                  cmd,
                  kNecProjectorId1,
                  kNecProjectorId2,
                  0x02,
                  0x00,
                  0x00};
    }
    answer.push_back(necChecksum(answer));
    e.add("done", known);
    events.push_back(std::move(e));
    return answer;
}

} // namespace pj::sim

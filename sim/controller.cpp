#include "sim/controller.h"

#include <algorithm>
#include <cstdio>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define PJ_SIM_HAVE_ICONV 1
#endif

namespace pj::sim {

using pj::link::Chunking;
using pj::link::ReloadGroup;

namespace {

constexpr std::uint8_t kProbe = 0xAA;
constexpr std::uint8_t kFrameMark = 0x3A;
constexpr std::uint8_t kRoomMark = 0x5A;
constexpr std::uint8_t kCardFirst = 0xCF;
constexpr std::uint8_t kCardSecond = 0xBB;
constexpr std::size_t kFrameSize = 67;
constexpr std::size_t kCodeArea = 61;
constexpr int kKeySlots = 18;
constexpr std::size_t kRoomBlockSize = 8;
constexpr std::size_t kMaxCard = 1024;

long long msBetween(SteadyTime a, SteadyTime b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

// The card number for the log: GBK turned into UTF-8 where the platform can.
std::string cardText(const Bytes& gbk) {
    const bool ascii = std::all_of(gbk.begin(), gbk.end(), [](std::uint8_t c) { return c < 0x80; });
    if (ascii)
        return std::string(gbk.begin(), gbk.end());
#ifdef PJ_SIM_HAVE_ICONV
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        std::string in(gbk.begin(), gbk.end());
        std::string out(in.size() * 4 + 4, '\0');
        char* src = in.data();
        char* dst = out.data();
        std::size_t srcLeft = in.size();
        std::size_t dstLeft = out.size();
        const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        iconv_close(cd);
        if (r != static_cast<std::size_t>(-1) && srcLeft == 0) {
            out.resize(out.size() - dstLeft);
            return out;
        }
    }
#endif
    return {}; // not decodable: only the bytes are logged
}

} // namespace

const char* parityName(std::uint32_t parity) {
    switch (parity) {
    case 1:
        return "odd";
    case 2:
        return "even";
    default:
        return "none";
    }
}

std::optional<ControllerConfig> configForAnswer(std::uint8_t answerByte, int machineType,
                                                std::string& error) {
    const auto detected = pj::link::editionForAnswerByte(answerByte);
    if (!detected) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "应答字节 0x%02x 不属于任何中控版本", answerByte);
        error = buf;
        return std::nullopt;
    }
    ControllerConfig c;
    c.answerByte = answerByte;
    c.editionCode = detected->editionCode;
    c.programmingBaud = detected->controllerBaud;
    if (machineType == -1) {
        // The answer's programming speed tells standalone from network units.
        const auto standalone = pj::link::programmingBaud(c.editionCode, 0);
        const auto network = pj::link::programmingBaud(c.editionCode, 1);
        machineType = (network == c.programmingBaud && standalone != c.programmingBaud) ? 1 : 0;
    }
    const auto chunking = pj::link::chunkingFor(c.editionCode, machineType);
    if (!chunking || machineType < 0 || machineType > 1) {
        error = "机器类型必须是 0（单机）或 1（网络）";
        return std::nullopt;
    }
    c.machineType = machineType;
    c.chunking = *chunking;
    return c;
}

std::uint32_t projectorBaudFor(ReloadGroup group, std::uint8_t reload) {
    const std::uint32_t divisor = 256u - reload;
    return (group == ReloadGroup::A ? 38400u : 115200u) / divisor;
}

Bytes garble(std::span<const std::uint8_t> bytes) {
    Bytes out(bytes.begin(), bytes.end());
    for (std::size_t i = 0; i < out.size(); ++i) {
        // The top bit always flips, so no byte survives.
        out[i] ^= static_cast<std::uint8_t>(0x80 | ((i * 29 + 7) & 0x7F));
    }
    return out;
}

ControllerCore::ControllerCore(ControllerConfig config)
    : config_(config)
    , group_(ReloadGroup::A)
    , chunkCut_(config.chunking == Chunking::ColonFirst ? 1 : 5) {
    if (const auto* e = pj::link::findEdition(config_.editionCode))
        group_ = e->group;
}

bool ControllerCore::atProgrammingSpeed(const LineSettings& line) const {
    return line.baud == static_cast<std::uint32_t>(config_.programmingBaud);
}

Bytes ControllerCore::receive(std::span<const std::uint8_t> bytes, SteadyTime at,
                              const LineSettings& line, std::vector<Event>& events) {
    Bytes reply;
    Bytes noise;
    const char* noiseReason = "";
    auto flushNoise = [&] {
        if (noise.empty())
            return;
        Event e("noise", at);
        e.addHex("bytes", noise).add("baud", line.baud).add("reason", noiseReason);
        events.push_back(std::move(e));
        noise.clear();
    };
    const bool speedOk = atProgrammingSpeed(line);
    for (std::uint8_t b : bytes) {
        if (!speedOk) {
            // At another speed the controller's UART sees garbage, not bytes.
            if (state_ != State::Idle) {
                flushNoise();
                abandon("speed", at, events);
            }
            if (b == kProbe) {
                flushNoise();
                probe(at, line, reply, events);
            } else {
                if (noiseReason != std::string_view("speed"))
                    flushNoise();
                noiseReason = "speed";
                noise.push_back(b);
            }
            continue;
        }
        if (state_ == State::Idle && b != kProbe && b != kFrameMark && b != kRoomMark &&
            b != kCardFirst) {
            if (noiseReason != std::string_view("unexpected"))
                flushNoise();
            noiseReason = "unexpected";
            noise.push_back(b);
            continue;
        }
        if (state_ == State::CardStart && b != kCardSecond) {
            state_ = State::Idle;
            noiseReason = "unexpected";
            noise.push_back(kCardFirst);
            flushNoise();
            const std::uint8_t again[1] = {b};
            Bytes r = receive(again, at, line, events);
            reply.insert(reply.end(), r.begin(), r.end());
            continue;
        }
        flushNoise();
        takeByte(b, at, line, reply, events);
    }
    flushNoise();
    return reply;
}

void ControllerCore::takeByte(std::uint8_t b, SteadyTime at, const LineSettings& line, Bytes& reply,
                              std::vector<Event>& events) {
    lastByteAt_ = at;
    switch (state_) {
    case State::Idle:
        partial_.clear();
        partialStart_ = at;
        cutGapMs_ = -1;
        if (b == kProbe) {
            probe(at, line, reply, events);
        } else if (b == kFrameMark) {
            state_ = State::Frame;
            partial_.push_back(b);
            if (chunkCut_ == 1)
                beforeCutAt_ = at;
        } else if (b == kRoomMark) {
            state_ = State::RoomMark;
        } else if (b == kCardFirst) {
            state_ = State::CardStart;
        }
        return;
    case State::Frame:
        partial_.push_back(b);
        if (partial_.size() == chunkCut_)
            beforeCutAt_ = at;
        else if (partial_.size() == chunkCut_ + 1)
            cutGapMs_ = msBetween(beforeCutAt_, at);
        if (partial_.size() == kFrameSize)
            finishFrame(at, events);
        return;
    case State::RoomMark:
        if (partial_.empty())
            cutGapMs_ = msBetween(partialStart_, at);
        partial_.push_back(b);
        if (partial_.size() == kRoomBlockSize) {
            RoomBlock block;
            std::copy(partial_.begin(), partial_.end(), block.bytes.begin());
            block.gapMs = cutGapMs_;
            rooms_.push_back(block);
            const auto& r = block.bytes;
            Event e("room", at);
            e.addHex("bytes", r)
                .add("off_delay", r[0])
                .add("signal_source", r[1])
                .add("visualizer_type", r[2])
                .add("shutdown_alarm", r[3])
                .add("curtain", r[4])
                .add("one_key", r[5])
                .add("door_normally_open", r[6])
                .add("network", r[7])
                .add("gap_ms", block.gapMs);
            events.push_back(std::move(e));
            state_ = State::Idle;
        }
        return;
    case State::CardStart: // only 0xBB gets here
        state_ = State::Card;
        partial_.clear();
        return;
    case State::Card:
        partial_.push_back(b);
        if (partial_.size() >= 2 && partial_[partial_.size() - 2] == 0x02 && b == 0x55) {
            finishCard(at, events);
        } else if (partial_.size() > kMaxCard) {
            abandon("length", at, events);
        }
        return;
    }
}

void ControllerCore::probe(SteadyTime at, const LineSettings& line, Bytes& reply,
                           std::vector<Event>& events) {
    Event e("probe", at);
    e.add("baud", line.baud);
    if (!atProgrammingSpeed(line)) {
        e.add("answered", false).add("reason", "speed");
        events.push_back(std::move(e));
        return;
    }
    if (probesInGroup_ == 0 || at - lastProbeAt_ > config_.probeGroupGap)
        probesInGroup_ = 0;
    const int index = probesInGroup_++;
    lastProbeAt_ = at;
    bool answered = false;
    switch (config_.probes) {
    case ProbePolicy::All:
        answered = true;
        break;
    case ProbePolicy::First:
        answered = index % 3 == 0;
        break;
    case ProbePolicy::None:
        break;
    }
    e.add("index", index).add("answered", answered);
    events.push_back(std::move(e));
    if (answered) {
        const std::uint8_t answer[2] = {kProbe, config_.answerByte};
        reply.insert(reply.end(), answer, answer + 2);
        Event a("answer", at);
        a.addHex("bytes", answer);
        events.push_back(std::move(a));
    }
}

void ControllerCore::finishFrame(SteadyTime at, std::vector<Event>& events) {
    state_ = State::Idle;
    const Bytes& f = partial_;
    const std::uint8_t reload = f[1];
    const std::size_t length = f[2];
    const int key = f[3];
    const char* reason = nullptr;
    if (cutGapMs_ < config_.minChunkGap.count())
        reason = "pause";
    else if (length > kCodeArea)
        reason = "length";
    else if (key >= kKeySlots)
        reason = "key";
    if (reason) {
        Event e("rejected", at);
        e.add("what", "frame")
            .add("reason", reason)
            .add("key", key)
            .add("length", static_cast<long long>(length))
            .add("gap_ms", cutGapMs_)
            .add("min_gap_ms", static_cast<long long>(config_.minChunkGap.count()));
        events.push_back(std::move(e));
        return;
    }
    StoredKey k;
    k.code.assign(f.begin() + 4, f.begin() + 4 + static_cast<std::ptrdiff_t>(length));
    k.reload = reload;
    k.parity = f[65];
    k.visualizer = f[66];
    k.projectorBaud = projectorBaudFor(group_, reload);
    Event e("frame", at);
    e.add("key", key)
        .add("length", static_cast<long long>(length))
        .addHex("code", k.code)
        .add("reload", reload)
        .add("projector_baud", k.projectorBaud)
        .add("parity", parityName(k.parity))
        .add("visualizer", k.visualizer)
        .add("chunking", config_.chunking == Chunking::ColonFirst ? "colon-first" : "header-first")
        .add("gap_ms", cutGapMs_);
    events.push_back(std::move(e));
    keys_[key] = std::move(k);
}

void ControllerCore::finishCard(SteadyTime at, std::vector<Event>& events) {
    state_ = State::Idle;
    IdCard card;
    card.number.assign(partial_.begin(), partial_.end() - 2);
    Event e("card", at);
    e.add("number", cardText(card.number))
        .addHex("bytes", card.number)
        .add("length", static_cast<long long>(card.number.size()));
    events.push_back(std::move(e));
    cards_.push_back(std::move(card));
}

void ControllerCore::abandon(std::string_view reason, SteadyTime at, std::vector<Event>& events) {
    const char* what = "frame";
    std::size_t got = partial_.size();
    switch (state_) {
    case State::Idle:
        return;
    case State::Frame:
        break;
    case State::RoomMark:
        what = "room";
        got += 1;
        break;
    case State::CardStart:
    case State::Card:
        what = "card";
        got += 2;
        break;
    }
    Event e("rejected", at);
    e.add("what", what).add("reason", reason).add("received", static_cast<long long>(got));
    events.push_back(std::move(e));
    state_ = State::Idle;
    partial_.clear();
}

void ControllerCore::expire(SteadyTime now, std::vector<Event>& events) {
    if (state_ != State::Idle && now - lastByteAt_ >= config_.partialTimeout)
        abandon("incomplete", now, events);
}

std::optional<SteadyTime> ControllerCore::nextDeadline() const {
    if (state_ == State::Idle)
        return std::nullopt;
    return lastByteAt_ + config_.partialTimeout;
}

Bytes ControllerCore::press(int key, const LineSettings& line, SteadyTime at,
                            std::vector<Event>& events) {
    const auto it = keys_.find(key);
    Event p("press", at);
    p.add("key", key).add("stored", it != keys_.end()).add("listening", line.clientOpen);
    events.push_back(std::move(p));
    if (it == keys_.end() || !line.clientOpen)
        return {};
    const StoredKey& k = it->second;
    // Even parity and none look the same on a pty; odd parity is visible.
    const bool parityOk = (k.parity == 1) == line.parityOdd;
    const bool speedOk = line.baud == k.projectorBaud;
    Bytes out = (parityOk && speedOk) ? k.code : garble(k.code);
    Event e("echo", at);
    e.add("key", key)
        .addHex("bytes", out)
        .add("garbled", !(parityOk && speedOk))
        .add("baud", line.baud)
        .add("parity_odd", line.parityOdd)
        .add("projector_baud", k.projectorBaud)
        .add("projector_parity", parityName(k.parity));
    events.push_back(std::move(e));
    return out;
}

} // namespace pj::sim

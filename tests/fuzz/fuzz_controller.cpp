// The simulated controller's core fed arbitrary client byte streams at
// arbitrary times with arbitrary line settings, key presses and time-outs in
// between. It must only ever answer probes, store keys 0..17 with codes of at
// most 61 bytes, echo a stored code exactly when the client's line matches
// (garbled byte for byte otherwise), and log every event as valid JSON.
//
// Input: answer byte choice, machine type, probe policy, minimum chunk gap,
// then operations: receive, press, let time pass, or send a whole frame.

#include "sim/controller.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>
#include <vector>

using namespace pj::sim;
using std::chrono::milliseconds;

namespace {

constexpr std::size_t kMaxOperations = 64;

// Only what the log needs: objects, arrays, strings, numbers, literals; the
// whole text must be one value.
class JsonChecker {
public:
    explicit JsonChecker(std::string_view text)
        : s_(text) {}
    bool valid() {
        blank();
        if (!value())
            return false;
        blank();
        return i_ == s_.size();
    }

private:
    void blank() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\t' || s_[i_] == '\r'))
            ++i_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(i_, word.size()) != word)
            return false;
        i_ += word.size();
        return true;
    }
    bool string() {
        if (!literal("\""))
            return false;
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (i_ >= s_.size())
                    return false;
                const char e = s_[i_++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k, ++i_) {
                        if (i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_])))
                            return false;
                    }
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool number() {
        const std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-')
            ++i_;
        const std::size_t digits = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])))
            ++i_;
        return i_ > digits && i_ > start;
    }
    bool value() {
        if (i_ >= s_.size())
            return false;
        switch (s_[i_]) {
        case '{':
            return members('}', true);
        case '[':
            return members(']', false);
        case '"':
            return string();
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }
    bool members(char close, bool named) {
        ++i_;
        blank();
        if (i_ < s_.size() && s_[i_] == close) {
            ++i_;
            return true;
        }
        for (;;) {
            blank();
            if (named) {
                if (!string())
                    return false;
                blank();
                if (!literal(":"))
                    return false;
                blank();
            }
            if (!value())
                return false;
            blank();
            if (i_ < s_.size() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            return literal(std::string_view(&close, 1));
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

std::vector<std::uint8_t> answerBytes() {
    std::vector<std::uint8_t> out;
    for (int b = 0; b < 256; ++b) {
        if (pj::link::editionForAnswerByte(static_cast<std::uint8_t>(b)))
            out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

LineSettings lineFrom(pj::fuzz::Input& in, const ControllerConfig& config) {
    static constexpr std::uint32_t kOther[] = {0, 600, 1200, 2400, 9600, 19200, 38400, 115200};
    const std::uint8_t b = in.byte();
    LineSettings line;
    line.clientOpen = (b & 0x80) == 0;
    line.parityOdd = (b & 0x40) != 0;
    const std::uint8_t pick = b & 0x0F;
    line.baud = pick < 8 ? static_cast<std::uint32_t>(config.programmingBaud) : kOther[pick - 8];
    return line;
}

Bytes frameFrom(pj::fuzz::Input& in) {
    Bytes f(67, 0);
    f[0] = 0x3A;
    f[1] = in.byte();
    const auto code = in.take(in.byte() % 62);
    f[2] = static_cast<std::uint8_t>(code.size());
    f[3] = in.byte() % 20;
    std::copy(code.begin(), code.end(), f.begin() + 4);
    f[65] = in.byte() % 3;
    f[66] = in.byte();
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> answers = answerBytes();
    return pj::fuzz::run(data, size, [](pj::fuzz::Input& in) {
        std::string error;
        const auto config = configForAnswer(answers[in.byte() % answers.size()],
                                            static_cast<int>(in.byte() % 3) - 1, error);
        PJ_FUZZ_CHECK(config.has_value());
        ControllerConfig c = *config;
        c.probes = static_cast<ProbePolicy>(in.byte() % 3);
        c.minChunkGap = milliseconds(in.byte() * 4);
        ControllerCore core(c);
        const auto group = pj::link::findEdition(c.editionCode)->group;

        SteadyTime now{};
        std::vector<Event> events;
        for (std::size_t op = 0; op < kMaxOperations && !in.empty(); ++op) {
            const std::uint8_t kind = in.byte() % 4;
            now += milliseconds(in.u16());
            const LineSettings line = lineFrom(in, c);
            const std::size_t eventsBefore = events.size();
            Bytes reply;
            if (kind == 0) {
                reply = core.receive(in.chunk(), now, line, events);
            } else if (kind == 1) {
                const int key = static_cast<std::int8_t>(in.byte());
                const auto stored = core.keys().find(key);
                const Bytes echo = core.press(key, line, now, events);
                if (stored == core.keys().end() || !line.clientOpen) {
                    PJ_FUZZ_CHECK(echo.empty());
                } else {
                    const StoredKey& k = stored->second;
                    PJ_FUZZ_CHECK(echo.size() == k.code.size());
                    const bool matches =
                        line.baud == k.projectorBaud && (k.parity == 1) == line.parityOdd;
                    if (matches) {
                        PJ_FUZZ_CHECK(echo == k.code);
                    } else {
                        for (std::size_t i = 0; i < echo.size(); ++i)
                            PJ_FUZZ_CHECK(echo[i] != k.code[i]);
                    }
                }
            } else if (kind == 2) {
                core.expire(now, events);
                PJ_FUZZ_CHECK(!core.nextDeadline() || *core.nextDeadline() > now);
            } else {
                const Bytes frame = frameFrom(in);
                const std::size_t cut = 1 + in.byte() % 66;
                reply = core.receive(std::span(frame).first(cut), now, line, events);
                now += milliseconds(in.u16());
                const Bytes more = core.receive(std::span(frame).subspan(cut), now, line, events);
                reply.insert(reply.end(), more.begin(), more.end());
            }

            // Only probes are answered, and only at the programming speed.
            PJ_FUZZ_CHECK(reply.size() % 2 == 0);
            for (std::size_t i = 0; i < reply.size(); i += 2)
                PJ_FUZZ_CHECK(reply[i] == 0xAA && reply[i + 1] == c.answerByte);
            if (line.baud != static_cast<std::uint32_t>(c.programmingBaud))
                PJ_FUZZ_CHECK(reply.empty());

            for (const auto& [key, k] : core.keys()) {
                PJ_FUZZ_CHECK(key >= 0 && key < 18);
                PJ_FUZZ_CHECK(k.code.size() <= 61);
                PJ_FUZZ_CHECK(k.projectorBaud == projectorBaudFor(group, k.reload));
            }
            for (const auto& block : core.roomBlocks())
                PJ_FUZZ_CHECK(block.gapMs >= 0);
            for (const auto& card : core.cards())
                PJ_FUZZ_CHECK(card.number.size() <= 1024);
            if (const auto deadline = core.nextDeadline())
                PJ_FUZZ_CHECK(*deadline <= now + c.partialTimeout);
            for (std::size_t i = eventsBefore; i < events.size(); ++i) {
                const std::string json = events[i].json();
                PJ_FUZZ_CHECK(JsonChecker(json).valid());
            }
        }
    });
}

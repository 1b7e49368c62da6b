// Room parameters and the ID card: the 8-byte block for any panel values, the
// numbers typed into the panel, the conversion to GBK and back, the card frame,
// and both write sequences over the in-memory port played into the simulated
// controller, which must receive exactly the block and the card number sent.
//
// Input: off delay, signal source (32 bits), visualizer type (32 bits), flags,
// curtain seconds, a typed number (length byte first) and a 32-bit value, then
// the card number (the rest, meant as UTF-8).

#include "link/gbk.h"
#include "link/roomcard.h"
#include "link/sequences.h"
#include "sim/controller.h"
#include "tests/fuzz/fake_wire.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <optional>
#include <string>

using namespace pj::link;

namespace {

constexpr std::uint8_t kControllerAnswer = 0x07; // edition 2007, 9600 baud
constexpr std::uint32_t kListenBaud = 9600;

std::uint8_t low8(int v) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(v) & 0xFFu);
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size())
            return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

bool hasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

ShellState programmingShell() {
    ShellState shell;
    const auto edition = *editionForAnswerByte(kControllerAnswer);
    shell.editionCode = edition.editionCode;
    shell.controllerBaud = edition.controllerBaud;
    shell.portName = "fuzz";
    return shell;
}

pj::sim::ControllerConfig controllerConfig() {
    std::string error;
    const auto config = pj::sim::configForAnswer(kControllerAnswer, -1, error);
    PJ_FUZZ_CHECK(config.has_value());
    return *config;
}

void checkRoom(const RoomParameters& p) {
    const RoomParameterBlock block = buildRoomBlock(p);
    PJ_FUZZ_CHECK(block[0] == p.offDelayMinutes);
    PJ_FUZZ_CHECK(block[1] == low8(p.signalSource));
    PJ_FUZZ_CHECK(block[2] == low8(p.visualizerType));
    PJ_FUZZ_CHECK(block[3] == (p.shutdownAlarm ? 1 : 0));
    PJ_FUZZ_CHECK(block[4] == p.curtainSeconds);
    PJ_FUZZ_CHECK(block[5] == (p.oneKey ? 1 : 0));
    PJ_FUZZ_CHECK(block[6] == (p.doorNormallyOpen ? 1 : 0));
    PJ_FUZZ_CHECK(block[7] == (p.networkMachine ? 1 : 0));
    // Defined for every type: what frames carry, (type + 1) modulo 256.
    const int number = visualizerNumberFor(p);
    PJ_FUZZ_CHECK(number == low8(static_cast<int>(static_cast<unsigned>(p.visualizerType) + 1u)));

    pj::fuzz::FakeWire wire;
    ShellState shell = programmingShell();
    SequenceObserver quiet;
    const SequenceResult result = writeRoomParameters(wire.channel, shell, p, kListenBaud, quiet);
    wire.channel.close();
    PJ_FUZZ_CHECK(result.ok());
    PJ_FUZZ_CHECK(result.listening);
    PJ_FUZZ_CHECK(shell.visualizerNumber == number);
    pj::sim::ControllerCore controller(controllerConfig());
    const auto events = wire.playInto(controller);
    PJ_FUZZ_CHECK(!pj::fuzz::hasEvent(events, "rejected"));
    PJ_FUZZ_CHECK(!pj::fuzz::hasEvent(events, "noise"));
    PJ_FUZZ_CHECK(controller.roomBlocks().size() == 1);
    PJ_FUZZ_CHECK(controller.roomBlocks()[0].bytes == block);
    PJ_FUZZ_CHECK(controller.roomBlocks()[0].gapMs >= kRoomMarkPause.count());
}

void checkTypedNumbers(std::string_view typed, std::int32_t value) {
    // Panel numbers: a whole number 0..255 in decimal digits, blanks around
    // allowed; anything else (a sign, other characters, a larger value) is
    // refused rather than sent as its low 8 bits.
    const std::string decimal = std::to_string(value);
    const bool fits = value >= 0 && value <= 255;
    PJ_FUZZ_CHECK(parseRoomNumber(decimal) ==
                  (fits ? std::optional<std::uint8_t>(low8(value)) : std::nullopt));
    PJ_FUZZ_CHECK(parseRoomNumber(" \t" + decimal + "\r\n") == parseRoomNumber(decimal));
    PJ_FUZZ_CHECK(!parseRoomNumber(decimal + "x"));
    if (const auto room = parseRoomNumber(typed)) {
        const std::size_t b = typed.find_first_not_of(" \t\n\r\v\f");
        const std::size_t e = typed.find_last_not_of(" \t\n\r\v\f");
        PJ_FUZZ_CHECK(b != std::string_view::npos);
        const std::string_view digits = typed.substr(b, e - b + 1);
        PJ_FUZZ_CHECK(
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }));
        const std::size_t nonZero = std::min(digits.find_first_not_of('0'), digits.size());
        PJ_FUZZ_CHECK(std::string(digits.substr(nonZero)) ==
                      (*room == 0 ? std::string() : std::to_string(*room)));
    }

    // Speeds: exactly the decimal numbers 1..2^32-1, blanks around allowed.
    const auto unsignedValue = static_cast<std::uint32_t>(value);
    const auto parsed = parseBaudText(" " + std::to_string(unsignedValue) + "\n");
    PJ_FUZZ_CHECK(unsignedValue == 0 ? !parsed : parsed == unsignedValue);
    PJ_FUZZ_CHECK(!parseBaudText(std::to_string(unsignedValue) + "0000000000"));
    if (const auto speed = parseBaudText(typed)) {
        PJ_FUZZ_CHECK(*speed > 0);
        std::string digits(typed);
        digits.erase(
            std::remove_if(digits.begin(), digits.end(), [](char c) { return c < '0' || c > '9'; }),
            digits.end());
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
        PJ_FUZZ_CHECK(digits == std::to_string(*speed));
    }
}

void checkCard(std::string_view card) {
    const auto gbk = utf8ToGbk(card);
    if (gbk) {
        // Only text is converted, and it comes back unchanged.
        PJ_FUZZ_CHECK(isUtf8(card));
        PJ_FUZZ_CHECK(gbk->size() <= card.size());
        PJ_FUZZ_CHECK(gbkToUtf8(*gbk) == std::string(card));
    }
    if (isAscii(card))
        PJ_FUZZ_CHECK(gbk == std::string(card));
    if (const auto utf8 = gbkToUtf8(card))
        PJ_FUZZ_CHECK(utf8ToGbk(*utf8) == std::string(card));

    if (gbk) {
        const auto frame = buildIdCardFrame(*gbk);
        PJ_FUZZ_CHECK(frame.has_value() == (gbk->size() <= kMaxCardBytes));
        if (frame) {
            PJ_FUZZ_CHECK(frame->size() == gbk->size() + 4);
            PJ_FUZZ_CHECK((*frame)[0] == 0xCF && (*frame)[1] == 0xBB);
            PJ_FUZZ_CHECK(std::equal(
                gbk->begin(), gbk->end(), frame->begin() + 2,
                [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
            PJ_FUZZ_CHECK(frame->end()[-2] == 0x02 && frame->end()[-1] == 0x55);
        }
    }

    // The sequence: refused before the port opens, or the controller holds
    // exactly the number sent.
    pj::fuzz::FakeWire wire;
    SequenceObserver quiet;
    const SequenceResult result = writeIdCard(wire.channel, programmingShell(), card, quiet);
    const bool sendable = gbk && gbk->size() <= kMaxCardBytes && !hasControl(card);
    PJ_FUZZ_CHECK(result.ok() == sendable);
    PJ_FUZZ_CHECK(!wire.channel.isOpen());
    if (!sendable) {
        PJ_FUZZ_CHECK(result.outcome == SequenceOutcome::Refused);
        PJ_FUZZ_CHECK(!result.message.empty());
        PJ_FUZZ_CHECK(wire.port->events().empty());
        return;
    }
    pj::sim::ControllerCore controller(controllerConfig());
    const auto events = wire.playInto(controller);
    PJ_FUZZ_CHECK(!pj::fuzz::hasEvent(events, "rejected"));
    PJ_FUZZ_CHECK(!pj::fuzz::hasEvent(events, "noise"));
    if (gbk->empty()) {
        PJ_FUZZ_CHECK(wire.port->writes().empty());
        PJ_FUZZ_CHECK(controller.cards().empty());
    } else {
        PJ_FUZZ_CHECK(controller.cards().size() == 1);
        PJ_FUZZ_CHECK(controller.cards()[0].number == Bytes(gbk->begin(), gbk->end()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return pj::fuzz::run(data, size, [](pj::fuzz::Input& in) {
        RoomParameters p;
        p.offDelayMinutes = in.byte();
        p.signalSource = in.i32();
        p.visualizerType = in.i32();
        const std::uint8_t flags = in.byte();
        p.shutdownAlarm = flags & 1;
        p.oneKey = flags & 2;
        p.doorNormallyOpen = flags & 4;
        p.networkMachine = flags & 8;
        p.curtainSeconds = in.byte();
        checkRoom(p);

        const std::string_view typed = in.chunkText();
        checkTypedNumbers(typed, in.i32());

        checkCard(in.restText());
    });
}

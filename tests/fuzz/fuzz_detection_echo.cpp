// The detection answer in a received block, echo matching against the code
// rows, and the detection scan over the in-memory port with a controller on
// one of the ports, probes that time out, and noise on the line.
//
// Input: a block (length byte first), an answer choice, rows of code text
// (count, then each with a length byte), then, when the next byte is odd, the
// scan: port count, controller port, port states, positions of two probe
// writes that time out, noise.

#include "link/detection.h"
#include "link/sequences.h"
#include "tests/fuzz/fake_wire.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

using namespace pj::link;

namespace {

// Every answer byte of the edition table.
std::vector<std::uint8_t> answerBytes() {
    std::vector<std::uint8_t> out;
    for (int b = 0; b < 256; ++b) {
        if (editionForAnswerByte(static_cast<std::uint8_t>(b)))
            out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

bool sameEdition(const std::optional<DetectedEdition>& a, const std::optional<DetectedEdition>& b) {
    if (!a || !b)
        return a.has_value() == b.has_value();
    return a->editionCode == b->editionCode && a->controllerBaud == b->controllerBaud;
}

void checkAnswer(std::span<const std::uint8_t> block, std::uint8_t answer) {
    const auto found = findDetectionAnswer(block);
    bool anyPair = false;
    bool foundPair = false;
    for (std::size_t i = 0; i + 1 < block.size(); ++i) {
        if (block[i] != kProbeByte)
            continue;
        const auto e = editionForAnswerByte(block[i + 1]);
        anyPair = anyPair || e.has_value();
        foundPair = foundPair || (e && sameEdition(e, found));
    }
    // Only an answer that is in the block, and none where no answer is.
    if (found)
        PJ_FUZZ_CHECK(foundPair);
    if (!anyPair)
        PJ_FUZZ_CHECK(!found);
    if (block.size() < 2)
        PJ_FUZZ_CHECK(!found);
    // An answer after the block is the one that decides, unless the block ends
    // with a lone 0xAA that takes the answer's first byte as its partner.
    if (block.empty() || block.back() != kProbeByte) {
        std::vector<std::uint8_t> longer(block.begin(), block.end());
        longer.push_back(kProbeByte);
        longer.push_back(answer);
        PJ_FUZZ_CHECK(sameEdition(findDetectionAnswer(longer), editionForAnswerByte(answer)));
    }
}

void checkEcho(std::span<const std::uint8_t> block, CodeList rows) {
    const CodeList before = rows;
    const auto hit = matchEcho(rows, block);
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < before.size() && !block.empty(); ++i) {
        const Bytes code = codeTextToBytes(before[i].codeText);
        if (std::equal(code.begin(), code.end(), block.begin(), block.end())) {
            first = i;
            break;
        }
    }
    // The first row whose code is the block, exactly; no other row changes.
    PJ_FUZZ_CHECK(hit == first);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (hit && *hit == i)
            PJ_FUZZ_CHECK(rows[i].status == RowStatus::Confirmed);
        else
            PJ_FUZZ_CHECK(rows[i].status == before[i].status);
    }
    // A row holding the block as its code is always found (it or an earlier
    // row with the same code).
    if (!block.empty()) {
        CodeList more = before;
        more.push_back({"echo", bytesToCodeText(Bytes(block.begin(), block.end())), 0, 0, true,
                        RowStatus::Unconfirmed});
        const auto again = matchEcho(more, block);
        PJ_FUZZ_CHECK(again.has_value() && *again <= before.size());
    }
}

void checkScan(pj::fuzz::Input& in, std::uint8_t answer) {
    const std::size_t portCount = 1 + in.byte() % 4;
    std::vector<std::string> ports;
    std::vector<PortOpenStatus> statuses;
    pj::fuzz::FakeWire wire;
    bool controllerOpens = false;
    const std::size_t controllerPort = in.byte() % portCount;
    for (std::size_t p = 0; p < portCount; ++p) {
        ports.push_back("port" + std::to_string(p));
        constexpr PortOpenStatus kStates[] = {PortOpenStatus::Ok,
                                              PortOpenStatus::Ok,
                                              PortOpenStatus::Unavailable,
                                              PortOpenStatus::SettingsRefused,
                                              PortOpenStatus::Busy,
                                              PortOpenStatus::PermissionDenied,
                                              PortOpenStatus::SettingsUnreadable,
                                              PortOpenStatus::Ok};
        const PortOpenStatus status = kStates[in.byte() % std::size(kStates)];
        wire.port->setOpenStatus(ports.back(), status);
        statuses.push_back(status);
        if (p == controllerPort)
            controllerOpens = status == PortOpenStatus::Ok;
    }
    // At most two probes time out, so at least one of the three at the
    // controller's speed goes out.
    wire.port->scriptWrite(in.byte() % 48, IoStatus::TimedOut);
    wire.port->scriptWrite(in.byte() % 48, IoStatus::TimedOut);
    Bytes noise;
    for (std::uint8_t b : in.take(100)) {
        if (b != kProbeByte)
            noise.push_back(b);
    }
    const DetectedEdition edition = *editionForAnswerByte(answer);
    const std::string controllerName = ports[controllerPort];
    wire.port->setResponder([&](const FakePortEvent& write) -> std::optional<Bytes> {
        Bytes reply = noise;
        if (write.port == controllerName &&
            write.settings.baud == static_cast<std::uint32_t>(edition.controllerBaud)) {
            reply.push_back(kProbeByte);
            reply.push_back(answer);
        }
        return reply;
    });

    SequenceObserver quiet;
    const DetectionResult result = detectionScan(wire.channel, ports, quiet);
    const bool reachable =
        controllerOpens && std::find(kDetectionSpeeds.begin(), kDetectionSpeeds.end(),
                                     edition.controllerBaud) != kDetectionSpeeds.end();
    PJ_FUZZ_CHECK(result.found == reachable);
    PJ_FUZZ_CHECK(!wire.channel.isOpen());
    // Every port that could not be opened up to where the scan ended is listed
    // once, in scan order, with its reason and a message.
    const std::size_t scanned = result.found ? controllerPort + 1 : portCount;
    std::vector<std::string> wantUnusable;
    for (std::size_t p = 0; p < scanned; ++p) {
        if (statuses[p] != PortOpenStatus::Ok)
            wantUnusable.push_back(ports[p]);
    }
    PJ_FUZZ_CHECK(result.unusable.size() == wantUnusable.size());
    for (std::size_t i = 0; i < result.unusable.size(); ++i) {
        const PortProblem& problem = result.unusable[i];
        PJ_FUZZ_CHECK(problem.port == wantUnusable[i]);
        const std::size_t index = std::stoul(problem.port.substr(4));
        PJ_FUZZ_CHECK(problem.status == statuses[index]);
        PJ_FUZZ_CHECK(!problem.message.empty());
    }
    if (result.found) {
        PJ_FUZZ_CHECK(result.portName == controllerName);
        PJ_FUZZ_CHECK(result.edition.editionCode == edition.editionCode);
        PJ_FUZZ_CHECK(result.edition.controllerBaud == edition.controllerBaud);
        // The scan ends at the answer: no port after the controller's is tried.
        for (const auto& e : wire.port->events())
            PJ_FUZZ_CHECK(e.port <= controllerName);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> answers = answerBytes();
    return pj::fuzz::run(data, size, [](pj::fuzz::Input& in) {
        const auto block = in.chunk();
        const std::uint8_t answer = answers[in.byte() % answers.size()];
        checkAnswer(block, answer);

        CodeList rows;
        const std::size_t rowCount = in.byte() % 9;
        for (std::size_t i = 0; i < rowCount; ++i) {
            CodeListEntry row;
            row.codeText = std::string(in.chunkText());
            row.status = (i % 2) ? RowStatus::Confirmed : RowStatus::Unconfirmed;
            rows.push_back(row);
        }
        checkEcho(block, rows);

        // The scan costs a reader thread per open: only where the input asks.
        if (in.byte() & 1)
            checkScan(in, answer);
    });
}

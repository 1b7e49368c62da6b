// Code frames and their chunking: the frame layout for any code, slot, parity
// and visualizer number; the two ways a frame is cut; and the whole write
// sequence over the in-memory port, played into the simulated controller of the
// same edition, which must end up holding exactly the rows that were sent.
//
// Input: edition, machine type, projector speed, visualizer number, options,
// then rows (flags, slot as 16 bits, code text with a length byte).

#include "link/edition.h"
#include "link/frame.h"
#include "link/sequences.h"
#include "sim/controller.h"
#include "tests/fuzz/fake_wire.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <map>
#include <optional>

using namespace pj::link;

namespace {

constexpr std::uint32_t kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 600, 300};
constexpr std::size_t kMaxRows = 12;

class Answering : public SequenceObserver {
public:
    explicit Answering(bool goOn)
        : goOn_(goOn) {}
    bool confirmApproximateBaud(std::uint32_t, const std::string&) override { return goOn_; }

private:
    bool goOn_;
};

void checkFrameLayout(std::uint8_t reload, std::uint32_t slot, std::uint32_t parity, int visualizer,
                      const Bytes& code) {
    const std::optional<CodeFrame> frame = buildCodeFrame(reload, slot, parity, visualizer, code);
    // No frame for what none can carry: a slot over 17, a parity over 2, a
    // code over 61 bytes (never cut, never wrapped onto another key).
    PJ_FUZZ_CHECK(frame.has_value() == (slot <= 17 && parity <= 2 && code.size() <= kMaxCodeBytes));
    if (!frame)
        return;
    const CodeFrame& f = *frame;
    PJ_FUZZ_CHECK(f[0] == kFrameStartMark);
    PJ_FUZZ_CHECK(f[1] == reload);
    PJ_FUZZ_CHECK(f[2] == code.size());
    PJ_FUZZ_CHECK(f[3] == slot);
    PJ_FUZZ_CHECK(std::equal(code.begin(), code.end(), f.begin() + 4));
    PJ_FUZZ_CHECK(std::all_of(f.begin() + 4 + static_cast<std::ptrdiff_t>(code.size()),
                              f.begin() + 65, [](std::uint8_t b) { return b == 0; }));
    PJ_FUZZ_CHECK(f[65] == parity);
    PJ_FUZZ_CHECK(f[66] == (static_cast<unsigned>(visualizer) & 0xFFu));
    for (const Chunking c : {Chunking::ColonFirst, Chunking::HeaderFirst}) {
        const FrameChunks chunks = splitFrame(f, c);
        PJ_FUZZ_CHECK(chunks.first.size() == (c == Chunking::ColonFirst ? 1u : 5u));
        PJ_FUZZ_CHECK(chunks.first.size() + chunks.second.size() == kCodeFrameSize);
        PJ_FUZZ_CHECK(chunks.first.data() == f.data());
        PJ_FUZZ_CHECK(chunks.second.data() == f.data() + chunks.first.size());
    }
}

// What goes to the controller: a selected row with a code of at most 61 bytes,
// a key slot 0..17 and a parity 0..2. Every other selected row is refused.
bool sendable(const CodeListEntry& row) {
    const bool fits = codeTextToBytes(row.codeText).size() <= kMaxCodeBytes && row.keyType < 18 &&
                      row.parity <= 2;
    PJ_FUZZ_CHECK(codeRowRefusal(row).has_value() == !fits);
    return row.selected && fits;
}

struct Stored {
    Bytes code;
    std::uint8_t parity;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return pj::fuzz::run(data, size, [](pj::fuzz::Input& in) {
        const auto editions = controllerEditions();
        const ControllerEdition& edition = editions[in.byte() % editions.size()];
        const std::uint8_t m = in.byte();
        const int machineType = (m & 0x80) ? -1 : (m & 1);
        const std::uint8_t s = in.byte();
        const std::uint32_t baud = s < 0xF0 ? kSpeeds[s % std::size(kSpeeds)] : in.u32();
        const int visualizer = static_cast<std::int8_t>(in.byte());
        const bool goOnApproximate = in.flag();

        ShellState shell;
        shell.editionCode = edition.code;
        shell.machineType = machineType;
        shell.controllerBaud = *programmingBaud(edition.code, machineType);
        shell.portName = "fuzz";
        shell.visualizerNumber = visualizer;
        SelectedModel model;
        model.selectedBaud = baud;
        while (!in.empty() && model.rows.size() < kMaxRows) {
            const std::uint8_t flags = in.byte();
            CodeListEntry row;
            row.selected = flags & 1;
            row.parity = (flags >> 1) & 3;
            row.status = (flags & 8) ? RowStatus::Confirmed : RowStatus::Unconfirmed;
            row.keyType = in.u16();
            row.codeText = std::string(in.chunkText());
            model.rows.push_back(row);
        }

        // The reload byte runs the projector line at the speed asked for, unless
        // the edition can only approximate it.
        const auto reload = reloadByte(edition.code, baud);
        if (reload && !reloadIsApproximate(edition.code, baud))
            PJ_FUZZ_CHECK(pj::sim::projectorBaudFor(edition.group, *reload) == baud);

        for (const CodeListEntry& row : model.rows)
            checkFrameLayout(reload.value_or(0xFF), row.keyType, row.parity, visualizer,
                             codeTextToBytes(row.codeText));

        // The sequence, then the controller of this edition reading the wire.
        const SelectedModel before = model;
        pj::fuzz::FakeWire wire;
        Answering observer(goOnApproximate);
        const SequenceResult result = writeSelectedCodes(wire.channel, shell, model, observer);
        wire.channel.close();

        // A projector speed of 0 is a line no port can listen on.
        if (baud == 0) {
            PJ_FUZZ_CHECK(result.outcome == SequenceOutcome::LineRefused);
            PJ_FUZZ_CHECK(wire.port->events().empty());
            return;
        }
        if (checkCodeWriteSettings(shell, baud)) {
            PJ_FUZZ_CHECK(result.outcome == SequenceOutcome::Refused);
            PJ_FUZZ_CHECK(wire.port->events().empty());
            return;
        }
        if (reloadIsApproximate(edition.code, baud) && !goOnApproximate) {
            PJ_FUZZ_CHECK(result.outcome == SequenceOutcome::Cancelled);
            PJ_FUZZ_CHECK(wire.port->events().empty());
            return;
        }
        PJ_FUZZ_CHECK(result.outcome == SequenceOutcome::Completed);
        const auto selected = static_cast<std::size_t>(std::count_if(
            model.rows.begin(), model.rows.end(), [](auto& r) { return r.selected; }));
        PJ_FUZZ_CHECK(result.rowsSelected == selected);
        PJ_FUZZ_CHECK(result.rowsWritten + result.rowsRefused == selected);

        // Every frame in two writes, cut where the edition and machine type say.
        const Chunking chunking = *chunkingFor(edition.code, machineType);
        const std::size_t cut = chunking == Chunking::ColonFirst ? 1 : 5;
        const auto writes = wire.port->writes();
        PJ_FUZZ_CHECK(writes.size() == 2 * result.rowsWritten);
        for (std::size_t i = 0; i + 1 < writes.size(); i += 2) {
            PJ_FUZZ_CHECK(writes[i].bytes.size() == cut);
            PJ_FUZZ_CHECK(writes[i].bytes[0] == kFrameStartMark);
            PJ_FUZZ_CHECK(writes[i + 1].bytes.size() == kCodeFrameSize - cut);
            PJ_FUZZ_CHECK(writes[i + 1].at - writes[i].at >= kChunkPause);
        }

        // Rows with a code of at most 61 bytes, a slot 0..17 and a parity 0..2
        // go to their key, a later row on the same key replacing an earlier one;
        // nothing else reaches any key.
        std::map<int, Stored> expected;
        std::size_t sent = 0;
        std::uint32_t lastParity = 0;
        for (std::size_t i = 0; i < model.rows.size(); ++i) {
            const auto& row = model.rows[i];
            if (sendable(row)) {
                expected[static_cast<int>(row.keyType)] = {codeTextToBytes(row.codeText),
                                                           static_cast<std::uint8_t>(row.parity)};
                ++sent;
                lastParity = row.parity;
                PJ_FUZZ_CHECK(row.status == RowStatus::Unconfirmed);
            } else if (!row.selected) {
                PJ_FUZZ_CHECK(row.status == before.rows[i].status);
            }
        }
        PJ_FUZZ_CHECK(result.rowsWritten == sent);
        PJ_FUZZ_CHECK(model.lastParity == (result.rowsWritten ? lastParity : before.lastParity));

        std::string error;
        const auto answer = answerByteFor(edition.code, shell.controllerBaud);
        PJ_FUZZ_CHECK(answer.has_value());
        const auto config = pj::sim::configForAnswer(*answer, machineType, error);
        PJ_FUZZ_CHECK(config.has_value());
        pj::sim::ControllerCore controller(*config);
        const auto events = wire.playInto(controller);
        PJ_FUZZ_CHECK(!pj::fuzz::hasEvent(events, "rejected"));
        PJ_FUZZ_CHECK(!pj::fuzz::hasEvent(events, "noise"));
        PJ_FUZZ_CHECK(controller.keys().size() == expected.size());
        for (const auto& [key, want] : expected) {
            const auto it = controller.keys().find(key);
            PJ_FUZZ_CHECK(it != controller.keys().end());
            PJ_FUZZ_CHECK(it->second.code == want.code);
            PJ_FUZZ_CHECK(it->second.parity == want.parity);
            PJ_FUZZ_CHECK(it->second.reload == *reload);
            PJ_FUZZ_CHECK(it->second.visualizer == (static_cast<unsigned>(visualizer) & 0xFFu));
        }

        // Then the channel listened at the projector's speed and the last
        // written row's parity.
        PJ_FUZZ_CHECK(result.listening);
        const auto events2 = wire.port->events();
        const auto lastOpen = std::find_if(events2.rbegin(), events2.rend(), [](auto& e) {
            return e.kind == FakePortEvent::Kind::Open;
        });
        PJ_FUZZ_CHECK(lastOpen != events2.rend());
        PJ_FUZZ_CHECK(lastOpen->settings.baud == baud);
        PJ_FUZZ_CHECK(lastOpen->settings.parityCode == static_cast<int>(model.lastParity));
    });
}

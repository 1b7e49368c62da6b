#include "link/sequences.h"

#include "link/gbk.h"
#include "link/messages.h"

#include <algorithm>
#include <string>

namespace pj::link {

namespace {

constexpr int kDataBits = 8;
constexpr int kOneStopBit = 1;

LineSettings lineAt(std::uint32_t baud, int parityCode) {
    return {baud, kDataBits, parityCode, kOneStopBit};
}

int listenParityCode(std::uint32_t parity) {
    return parity <= kMaxParityCode ? static_cast<int>(parity) : 0;
}

// A write the sequence cannot go on after. A write past its completion limit
// is reported by the channel and the sequence goes on, as with a real port
// whose send queue stalls for a moment.
bool isFatal(const WriteResult& w) {
    return w.status != IoStatus::Ok && w.status != IoStatus::TimedOut;
}

bool fail(SequenceOutcome outcome, std::string text, SequenceObserver& observer,
          SequenceResult& result) {
    result.outcome = outcome;
    result.message = std::move(text);
    observer.message(result.message);
    return false;
}

// Tries the line the sequence will listen on once it has written, before it
// writes anything.
bool checkListeningLine(SerialChannel& channel, const std::string& portName,
                        const LineSettings& line, SequenceObserver& observer,
                        SequenceResult& result) {
    if (line.baud == 0)
        return fail(SequenceOutcome::LineRefused,
                    msg::formatMessage(msg::kProjectorBaudInvalid, "0"), observer, result);
    if (portName.empty())
        return fail(SequenceOutcome::PortFailed, msg::kNoPortSet, observer, result);
    const PortOpenStatus status = channel.checkLine(portName, line);
    if (status == PortOpenStatus::Ok)
        return true;
    if (deviceOpened(status))
        return fail(
            SequenceOutcome::LineRefused,
            msg::formatMessage(msg::kListenLineRefused, {portName, std::to_string(line.baud)}),
            observer, result);
    return fail(SequenceOutcome::PortFailed, openFailureText(portName, status), observer, result);
}

// Closes the channel twice (as every operation begins) and opens it at the
// edition's programming speed without parity.
bool openForProgramming(SerialChannel& channel, const ShellState& shell, SequenceObserver& observer,
                        SequenceResult& result) {
    if (shell.portName.empty())
        return fail(SequenceOutcome::PortFailed, msg::kNoPortSet, observer, result);
    channel.close();
    channel.close();
    const std::uint32_t baud =
        shell.controllerBaud > 0 ? static_cast<std::uint32_t>(shell.controllerBaud) : 0;
    if (channel.open(shell.portName, lineAt(baud, 0)) == OpenResult::Opened)
        return true;
    return fail(SequenceOutcome::PortFailed,
                openFailureText(shell.portName, channel.lastOpenStatus()), observer, result);
}

// The channel already told its message sink why; the result carries the text.
SequenceResult& writeFailed(SerialChannel& channel, const WriteResult& w,
                            const std::string& portName, SequenceObserver& observer,
                            SequenceResult& result) {
    result.outcome = SequenceOutcome::WriteFailed;
    result.message = msg::formatMessage(
        w.status == IoStatus::Failed ? msg::kWriteFailed : msg::kPortLost, portName);
    channel.close();
    observer.progress(0);
    return result;
}

SequenceResult& stopped(SerialChannel& channel, SequenceObserver& observer,
                        SequenceResult& result) {
    result.outcome = SequenceOutcome::Stopped;
    channel.close();
    observer.progress(0);
    return result;
}

// Everything went out; the channel now listens at the projector's line. A
// device that went away meanwhile (the reader noticed it) or that cannot be
// opened again fails the operation: nothing would hear the echo.
void reopenToListen(SerialChannel& channel, const std::string& portName, std::uint32_t baud,
                    int parityCode, SequenceObserver& observer, SequenceResult& result) {
    const bool lostBefore = channel.deviceLost();
    channel.close();
    channel.close();
    if (!lostBefore && channel.open(portName, lineAt(baud, parityCode)) == OpenResult::Opened) {
        result.listening = true;
        observer.listening(baud, parityFromCode(parityCode));
        return;
    }
    result.outcome = SequenceOutcome::ListenFailed;
    if (lostBefore || channel.deviceLost()) {
        // The channel has told its message sink already.
        result.message = msg::formatMessage(msg::kPortLost, portName);
        return;
    }
    result.message = openFailureText(portName, channel.lastOpenStatus());
    observer.message(result.message);
}

} // namespace

std::optional<std::string> checkCodeWriteSettings(const ShellState& shell,
                                                  std::uint32_t projectorBaud) {
    if (projectorBaud == 0)
        return msg::formatMessage(msg::kProjectorBaudInvalid, "0");
    if (!findEdition(shell.editionCode))
        return msg::formatMessage(msg::kUnknownEdition, std::to_string(shell.editionCode));
    if (!chunkingFor(shell.editionCode, shell.machineType))
        return std::string(msg::kChooseMachineType);
    if (!reloadByte(shell.editionCode, projectorBaud))
        return msg::formatMessage(msg::kBaudNotSupported, std::to_string(projectorBaud));
    return std::nullopt;
}

std::optional<std::string> codeRowRefusal(const CodeListEntry& row) {
    if (row.keyType >= kKeySlots)
        return msg::formatMessage(msg::kKeySlotInvalid, std::to_string(row.keyType));
    if (row.parity > kMaxParityCode)
        return msg::formatMessage(msg::kParityInvalid, std::to_string(row.parity));
    if (codeTextToBytes(row.codeText).size() > kMaxCodeBytes)
        return std::string(msg::kCodeTooLong); // a projector must never get a shortened code
    return std::nullopt;
}

WriteResult sendCodeFrame(SerialChannel& channel, const CodeFrame& frame, Chunking chunking) {
    const FrameChunks chunks = splitFrame(frame, chunking);
    const WriteResult first = channel.write(chunks.first);
    if (isFatal(first))
        return first;
    // The controller ignores bytes that follow the start of a frame too soon.
    channel.clock().sleep(kChunkPause);
    const WriteResult second = channel.write(chunks.second);
    WriteResult sum{second.status, first.written + second.written};
    if (!isFatal(second) && first.status == IoStatus::TimedOut)
        sum.status = IoStatus::TimedOut;
    return sum;
}

SequenceResult writeSelectedCodes(SerialChannel& channel, const ShellState& shell,
                                  SelectedModel& model, SequenceObserver& observer,
                                  std::stop_token stop) {
    SequenceResult result;
    const std::uint32_t projectorBaud = model.selectedBaud;
    // The parity the channel will listen with: that of the last row to go out.
    std::uint32_t listenParity = model.lastParity;
    for (const CodeListEntry& row : model.rows) {
        if (!row.selected)
            continue;
        ++result.rowsSelected;
        if (!codeRowRefusal(row))
            listenParity = row.parity;
    }
    if (projectorBaud == 0) {
        fail(SequenceOutcome::LineRefused, msg::formatMessage(msg::kProjectorBaudInvalid, "0"),
             observer, result);
        return result;
    }
    if (auto refusal = checkCodeWriteSettings(shell, projectorBaud)) {
        fail(SequenceOutcome::Refused, std::move(*refusal), observer, result);
        return result;
    }
    if (reloadIsApproximate(shell.editionCode, projectorBaud)) {
        const std::string question =
            msg::formatMessage(msg::kBaudApproximate, std::to_string(projectorBaud));
        if (!observer.confirmApproximateBaud(projectorBaud, question)) {
            result.outcome = SequenceOutcome::Cancelled;
            return result;
        }
    }
    const Chunking chunking = *chunkingFor(shell.editionCode, shell.machineType);
    const std::uint8_t reload = *reloadByte(shell.editionCode, projectorBaud);
    const int listenCode = listenParityCode(listenParity);

    if (!checkListeningLine(channel, shell.portName, lineAt(projectorBaud, listenCode), observer,
                            result))
        return result;
    if (!openForProgramming(channel, shell, observer, result))
        return result;

    auto stoppedAfterWriting = [&]() -> SequenceResult& {
        result.message =
            msg::formatMessage(msg::kCodesStopped, {std::to_string(result.rowsWritten),
                                                    std::to_string(result.rowsSelected)});
        return stopped(channel, observer, result);
    };
    Clock& clock = channel.clock();
    for (std::size_t i = 0; i < model.rows.size(); ++i) {
        CodeListEntry& row = model.rows[i];
        if (!row.selected)
            continue;
        if (stop.stop_requested())
            return stoppedAfterWriting();
        if (auto refusal = codeRowRefusal(row)) {
            ++result.rowsRefused;
            result.message = *refusal;
            observer.rowRefused(i, *refusal);
            continue;
        }
        observer.progress(50);
        const Bytes code = codeTextToBytes(row.codeText);
        const CodeFrame frame =
            *buildCodeFrame(reload, row.keyType, row.parity, shell.visualizerNumber, code);
        const WriteResult w = sendCodeFrame(channel, frame, chunking);
        if (isFatal(w))
            return writeFailed(channel, w, shell.portName, observer, result);
        model.lastParity = row.parity;
        row.status = RowStatus::Unconfirmed;
        observer.rowStatus(i, RowStatus::Unconfirmed);
        observer.rowWritten(i);
        ++result.rowsWritten;
        if (!clock.pause(kAfterFramePause, stop))
            return stoppedAfterWriting();
        observer.progress(100);
        if (!clock.pause(kAfterFramePause, stop))
            return stoppedAfterWriting();
        observer.progress(0);
    }

    reopenToListen(channel, shell.portName, projectorBaud, listenParityCode(model.lastParity),
                   observer, result);
    return result;
}

SequenceResult writeRoomParameters(SerialChannel& channel, ShellState& shell,
                                   const RoomParameters& params, std::uint32_t listenBaud,
                                   SequenceObserver& observer, std::stop_token stop) {
    SequenceResult result;
    // Unlike after the codes, the channel listens without parity here.
    if (!checkListeningLine(channel, shell.portName, lineAt(listenBaud, 0), observer, result))
        return result;
    if (!openForProgramming(channel, shell, observer, result))
        return result;
    Clock& clock = channel.clock();
    const std::uint8_t mark[] = {kRoomMark};
    WriteResult w = channel.write(mark);
    if (isFatal(w))
        return writeFailed(channel, w, shell.portName, observer, result);
    observer.progress(30);
    clock.sleep(kRoomMarkPause); // the mark and its block belong together
    observer.progress(60);
    const RoomParameterBlock block = buildRoomBlock(params);
    shell.visualizerNumber = visualizerNumberFor(params);
    w = channel.write(block);
    if (isFatal(w))
        return writeFailed(channel, w, shell.portName, observer, result);
    if (!clock.pause(kEndPause, stop))
        return stopped(channel, observer, result);
    observer.progress(100);
    if (!clock.pause(kEndSettle, stop))
        return stopped(channel, observer, result);
    reopenToListen(channel, shell.portName, listenBaud, 0, observer, result);
    observer.progress(0);
    return result;
}

SequenceResult writeIdCard(SerialChannel& channel, const ShellState& shell,
                           std::string_view cardNumberUtf8, SequenceObserver& observer,
                           std::stop_token stop) {
    SequenceResult result;
    // A control character could end the card early: the controller takes the
    // first 02 55 as the end of the number.
    const bool control = std::any_of(cardNumberUtf8.begin(), cardNumberUtf8.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    const std::optional<std::string> gbk = control ? std::nullopt : utf8ToGbk(cardNumberUtf8);
    std::optional<Bytes> frame;
    if (!gbk) {
        result.message = msg::kCardNotEncodable;
    } else if (!(frame = buildIdCardFrame(*gbk))) {
        result.message = msg::kCardTooLong;
    }
    if (!frame) {
        result.outcome = SequenceOutcome::Refused;
        observer.message(result.message);
        return result;
    }
    if (!openForProgramming(channel, shell, observer, result))
        return result;
    if (!gbk->empty()) {
        const WriteResult w = channel.write(*frame);
        if (isFatal(w))
            return writeFailed(channel, w, shell.portName, observer, result);
    }
    Clock& clock = channel.clock();
    if (!clock.pause(kEndPause, stop))
        return stopped(channel, observer, result);
    observer.progress(100);
    if (!clock.pause(kEndSettle, stop))
        return stopped(channel, observer, result);
    if (channel.deviceLost()) {
        // Pulled before the end: the frame may still have been in the adapter.
        return writeFailed(channel, WriteResult{IoStatus::DeviceLost, 0}, shell.portName, observer,
                           result);
    }
    channel.close();
    observer.progress(0);
    return result;
}

std::optional<std::size_t> matchEcho(CodeList& rows, std::span<const std::uint8_t> block) {
    if (block.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Bytes code = codeTextToBytes(rows[i].codeText);
        if (std::equal(code.begin(), code.end(), block.begin(), block.end())) {
            rows[i].status = RowStatus::Confirmed;
            return i;
        }
    }
    return std::nullopt;
}

} // namespace pj::link

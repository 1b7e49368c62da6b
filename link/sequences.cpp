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

// A write the sequence cannot go on after. A write past its completion limit
// is reported by the channel and the sequence goes on, as with a real port
// whose send queue stalls for a moment.
bool isFatal(const WriteResult& w) {
    return w.status != IoStatus::Ok && w.status != IoStatus::TimedOut;
}

// Closes the channel twice (as every operation begins) and opens it at the
// edition's programming speed without parity.
bool openForProgramming(SerialChannel& channel, const ShellState& shell, SequenceObserver& observer,
                        SequenceResult& result) {
    channel.close();
    channel.close();
    const std::uint32_t baud =
        shell.controllerBaud > 0 ? static_cast<std::uint32_t>(shell.controllerBaud) : 0;
    if (channel.open(shell.portName, lineAt(baud, 0)) == OpenResult::Opened)
        return true;
    result.outcome = SequenceOutcome::PortFailed;
    result.message = msg::formatMessage(msg::kCannotOpenPort, shell.portName);
    observer.message(result.message);
    return false;
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

void reopenToListen(SerialChannel& channel, const std::string& portName, std::uint32_t baud,
                    std::uint32_t parityCode, SequenceObserver& observer, SequenceResult& result) {
    channel.close();
    channel.close();
    const int code = parityCode <= 2 ? static_cast<int>(parityCode) : 0;
    if (channel.open(portName, lineAt(baud, code)) == OpenResult::Opened) {
        result.listening = true;
        observer.listening(baud, parityFromCode(code));
    } else {
        observer.message(msg::formatMessage(msg::kCannotOpenPort, portName));
    }
}

} // namespace

std::optional<std::string> checkCodeWriteSettings(const ShellState& shell,
                                                  std::uint32_t projectorBaud) {
    if (!findEdition(shell.editionCode))
        return msg::formatMessage(msg::kUnknownEdition, std::to_string(shell.editionCode));
    if (!chunkingFor(shell.editionCode, shell.machineType))
        return std::string(msg::kChooseMachineType);
    if (!reloadByte(shell.editionCode, projectorBaud))
        return msg::formatMessage(msg::kBaudNotSupported, std::to_string(projectorBaud));
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
                                  SelectedModel& model, SequenceObserver& observer) {
    SequenceResult result;
    const std::uint32_t projectorBaud = model.selectedBaud;
    if (auto refusal = checkCodeWriteSettings(shell, projectorBaud)) {
        result.outcome = SequenceOutcome::Refused;
        result.message = *refusal;
        observer.message(result.message);
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

    if (!openForProgramming(channel, shell, observer, result))
        return result;

    Clock& clock = channel.clock();
    for (std::size_t i = 0; i < model.rows.size(); ++i) {
        CodeListEntry& row = model.rows[i];
        if (!row.selected)
            continue;
        const Bytes code = codeTextToBytes(row.codeText);
        if (code.size() > kMaxCodeBytes) {
            // A projector must never get a shortened code.
            ++result.rowsRefused;
            result.message = msg::kCodeTooLong;
            observer.rowRefused(i, msg::kCodeTooLong);
            continue;
        }
        observer.progress(50);
        const CodeFrame frame =
            buildCodeFrame(reload, row.keyType, row.parity, shell.visualizerNumber, code);
        const WriteResult w = sendCodeFrame(channel, frame, chunking);
        if (isFatal(w))
            return writeFailed(channel, w, shell.portName, observer, result);
        model.lastParity = row.parity;
        row.status = RowStatus::Unconfirmed;
        observer.rowStatus(i, RowStatus::Unconfirmed);
        observer.rowWritten(i);
        ++result.rowsWritten;
        clock.sleep(kAfterFramePause);
        observer.progress(100);
        clock.sleep(kAfterFramePause);
        observer.progress(0);
    }

    reopenToListen(channel, shell.portName, projectorBaud, model.lastParity, observer, result);
    return result;
}

SequenceResult writeRoomParameters(SerialChannel& channel, ShellState& shell,
                                   const RoomParameters& params, std::uint32_t listenBaud,
                                   SequenceObserver& observer) {
    SequenceResult result;
    if (!openForProgramming(channel, shell, observer, result))
        return result;
    Clock& clock = channel.clock();
    const std::uint8_t mark[] = {kRoomMark};
    WriteResult w = channel.write(mark);
    if (isFatal(w))
        return writeFailed(channel, w, shell.portName, observer, result);
    observer.progress(30);
    clock.sleep(kRoomMarkPause);
    observer.progress(60);
    const RoomParameterBlock block = buildRoomBlock(params);
    shell.visualizerNumber = visualizerNumberFor(params);
    w = channel.write(block);
    if (isFatal(w))
        return writeFailed(channel, w, shell.portName, observer, result);
    clock.sleep(kEndPause);
    observer.progress(100);
    clock.sleep(kEndSettle);
    // Unlike after the codes, the channel listens without parity here.
    reopenToListen(channel, shell.portName, listenBaud, 0, observer, result);
    observer.progress(0);
    return result;
}

SequenceResult writeIdCard(SerialChannel& channel, const ShellState& shell,
                           std::string_view cardNumberUtf8, SequenceObserver& observer) {
    SequenceResult result;
    const std::optional<std::string> gbk = utf8ToGbk(cardNumberUtf8);
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
    clock.sleep(kEndPause);
    observer.progress(100);
    clock.sleep(kEndSettle);
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

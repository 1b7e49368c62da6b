#include "record/linkrecording.h"

#include "link/codetext.h"

namespace pj::record {

RecordingObserver::RecordingObserver(Recorder& recorder, qint64 writeId, link::CodeList rows,
                                     link::SequenceObserver& inner)
    : recorder_(recorder)
    , writeId_(writeId)
    , rows_(std::move(rows))
    , inner_(inner) {}

KeyEntry RecordingObserver::keyOf(std::size_t row) const {
    KeyEntry k;
    k.row = static_cast<int>(row);
    if (row < rows_.size()) {
        const link::CodeListEntry& e = rows_[row];
        k.slot = static_cast<int>(e.keyType);
        k.name = QString::fromStdString(e.name);
        k.code = codeOf(e);
        k.parity = static_cast<int>(e.parity);
    }
    return k;
}

void RecordingObserver::progress(int percent) {
    inner_.progress(percent);
}

void RecordingObserver::rowStatus(std::size_t row, link::RowStatus status) {
    inner_.rowStatus(row, status);
}

void RecordingObserver::rowWritten(std::size_t row) {
    KeyEntry k = keyOf(row);
    k.outcome = KeyOutcome::Written;
    recorder_.addKey(writeId_, std::move(k));
    inner_.rowWritten(row);
}

void RecordingObserver::rowRefused(std::size_t row, const std::string& reason) {
    KeyEntry k = keyOf(row);
    k.outcome = KeyOutcome::Refused;
    k.reason = QString::fromStdString(reason);
    recorder_.addKey(writeId_, std::move(k));
    inner_.rowRefused(row, reason);
}

void RecordingObserver::message(const std::string& text) {
    inner_.message(text);
}

void RecordingObserver::listening(std::uint32_t baud, link::Parity parity) {
    inner_.listening(baud, parity);
}

bool RecordingObserver::confirmApproximateBaud(std::uint32_t baud, const std::string& question) {
    return inner_.confirmApproximateBaud(baud, question);
}

WriteOutcome outcomeOf(link::SequenceOutcome outcome) {
    switch (outcome) {
    case link::SequenceOutcome::Completed:
        return WriteOutcome::Completed;
    case link::SequenceOutcome::Refused:
        return WriteOutcome::Refused;
    case link::SequenceOutcome::Cancelled:
        return WriteOutcome::Cancelled;
    case link::SequenceOutcome::PortFailed:
        return WriteOutcome::PortFailed;
    case link::SequenceOutcome::WriteFailed:
        return WriteOutcome::WriteFailed;
    case link::SequenceOutcome::LineRefused:
        return WriteOutcome::LineRefused;
    case link::SequenceOutcome::ListenFailed:
        return WriteOutcome::ListenFailed;
    case link::SequenceOutcome::Stopped:
        return WriteOutcome::Stopped;
    }
    return WriteOutcome::WriteFailed;
}

ControllerInfo controllerOf(const link::ShellState& shell) {
    ControllerInfo c;
    c.port = QString::fromStdString(shell.portName);
    c.edition = shell.editionCode;
    c.controllerBaud = shell.controllerBaud;
    c.machineType = shell.machineType;
    c.visualizerNumber = shell.visualizerNumber;
    return c;
}

QString codeOf(const link::CodeListEntry& row) {
    return QString::fromStdString(link::bytesToCodeText(link::codeTextToBytes(row.codeText)));
}

QString hexText(std::span<const std::uint8_t> bytes) {
    return QString::fromStdString(link::bytesToCodeText(link::Bytes(bytes.begin(), bytes.end())));
}

QString roomBlockText(const link::RoomParameterBlock& block) {
    return hexText(block);
}

void recordEcho(Recorder& recorder, qint64 writeId, int row, const link::CodeListEntry& entry,
                std::span<const std::uint8_t> block) {
    recorder.confirmKey(writeId, row, codeOf(entry), hexText(block));
}

} // namespace pj::record

#pragma once
// Recording what the controller sequences do: an observer that records each
// key's outcome as the sequence reports it and hands every report on, and the
// translations from the link core's values into the record's.

#include "link/observer.h"
#include "link/roomcard.h"
#include "link/sequences.h"
#include "link/state.h"
#include "record/recorder.h"

#include <span>

namespace pj::record {

// Stands between a sequence and the observer that shows it: a written or
// refused row is committed to the record before the report goes on, so a
// pulled adapter or a crash later keeps it.
class RecordingObserver final : public link::SequenceObserver {
public:
    // `rows`: the code rows the sequence writes (a copy; row indexes are theirs).
    RecordingObserver(Recorder& recorder, qint64 writeId, link::CodeList rows,
                      link::SequenceObserver& inner);

    void progress(int percent) override;
    void rowStatus(std::size_t row, link::RowStatus status) override;
    void rowWritten(std::size_t row) override;
    void rowRefused(std::size_t row, const std::string& reason) override;
    void message(const std::string& text) override;
    void listening(std::uint32_t baud, link::Parity parity) override;
    bool confirmApproximateBaud(std::uint32_t baud, const std::string& question) override;

private:
    KeyEntry keyOf(std::size_t row) const;

    Recorder& recorder_;
    qint64 writeId_;
    link::CodeList rows_;
    link::SequenceObserver& inner_;
};

WriteOutcome outcomeOf(link::SequenceOutcome outcome);
ControllerInfo controllerOf(const link::ShellState& shell);
// The code bytes of a row as the record keeps them ("a0 01 0d").
QString codeOf(const link::CodeListEntry& row);
QString hexText(std::span<const std::uint8_t> bytes);
QString roomBlockText(const link::RoomParameterBlock& block);

// Records the echo of `row` (the controller sent `block` back) for the write
// that wrote it; the key must have been written there with the same code.
void recordEcho(Recorder& recorder, qint64 writeId, int row, const link::CodeListEntry& entry,
                std::span<const std::uint8_t> block);

} // namespace pj::record

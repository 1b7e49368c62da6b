#pragma once
// The commissioning record as projector-cli's writing commands keep it
// (write, room, card, commission): the record file from --record or beside the
// catalogue, the room name from --room, and what happens when the record
// cannot be kept (a warning on stderr and the work goes on without it, or,
// with --require-record, nothing is sent and the command fails).

#include "cli/args.h"
#include "cli/link_commands.h"
#include "link/sequences.h"
#include "link/state.h"
#include "record/linkrecording.h"
#include "record/recorder.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pj::cli {

// Adds --room NAME, --record FILE and --require-record to a command's options.
void addRecordOptions(OptionSpec& spec);
inline constexpr char kRecordSynopsis[] = "[--room NAME] [--record FILE] [--require-record]";

// The record file a command keeps: --record, else the environment's rule for
// the catalogue file (empty: the command keeps no record).
std::string recordFileOf(const ParsedArgs& args, const LinkEnv& env,
                         const std::string& catalogueFile);

class CliRecord {
public:
    // Opens the record the command line asks for. `warn` prints one line on
    // stderr. nullptr when --require-record is given and no record can be
    // kept (the reason has been printed).
    static std::unique_ptr<CliRecord> open(const ParsedArgs& args, const LinkEnv& env,
                                           const std::string& catalogueFile,
                                           std::function<void(const std::string&)> warn);
    // A record that is opened on `path` by the caller (commission).
    CliRecord(std::string room, std::function<void(const std::string&)> warn);

    record::Recorder& recorder() { return recorder_; }
    bool active() const { return recorder_.active(); }
    const std::string& room() const { return room_; }

    // The start of a write of `kind` on the controller `shell` for the room.
    record::WriteStart start(record::WriteKind kind, const link::ShellState& shell) const;

private:
    record::Recorder recorder_;
    std::string room_;
    std::function<void(const std::string&)> warn_;
};

// One write in the record: begun when made, finished with the sequence's
// result by done() (or as failed when it is dropped without one).
class RecordedWrite {
public:
    RecordedWrite(CliRecord& record, const record::WriteStart& start);
    ~RecordedWrite();
    RecordedWrite(const RecordedWrite&) = delete;
    RecordedWrite& operator=(const RecordedWrite&) = delete;

    qint64 id() const { return id_; }
    // An observer that records the rows' outcomes and hands everything to `inner`.
    link::SequenceObserver& observe(const link::CodeList& rows, link::SequenceObserver& inner);
    void echo(int row, const link::CodeListEntry& entry, const link::Bytes& block);
    void done(const link::SequenceResult& result);

private:
    record::Recorder& recorder_;
    qint64 id_ = 0;
    bool done_ = false;
    std::unique_ptr<record::RecordingObserver> observer_;
};

} // namespace pj::cli

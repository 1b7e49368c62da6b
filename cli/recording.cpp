#include "cli/recording.h"

#include "catalogue/cataloguedb.h"
#include "record/location.h"

namespace pj::cli {

LinkEnv recordingLinkEnv() {
    LinkEnv env = systemLinkEnv();
    env.recordFile = [](const std::string& catalogueFile) {
        const std::string file =
            catalogueFile.empty() ? std::string(catalogue::kDefaultCatalogueFile) : catalogueFile;
        return record::recordFileFor(QString::fromStdString(file)).toStdString();
    };
    return env;
}

void addRecordOptions(OptionSpec& spec) {
    spec.single.insert("--room");
    spec.single.insert("--record");
    spec.flags.insert("--require-record");
}

std::string recordFileOf(const ParsedArgs& args, const LinkEnv& env,
                         const std::string& catalogueFile) {
    if (const auto file = args.value("--record"))
        return *file;
    return env.recordFile ? env.recordFile(catalogueFile) : std::string();
}

CliRecord::CliRecord(std::string room, std::function<void(const std::string&)> warn)
    : room_(std::move(room))
    , warn_(std::move(warn)) {
    recorder_.setFailureSink([this](const QString& text) {
        if (warn_)
            warn_("警告：" + text.toStdString() + "，此后的写入不再记录");
    });
}

std::unique_ptr<CliRecord> CliRecord::open(const ParsedArgs& args, const LinkEnv& env,
                                           const std::string& catalogueFile,
                                           std::function<void(const std::string&)> warn) {
    auto rec = std::make_unique<CliRecord>(args.value("--room").value_or(""), warn);
    const std::string file = recordFileOf(args, env, catalogueFile);
    const bool required = args.has("--require-record");
    if (file.empty()) {
        if (!required)
            return rec;
        warn("错误：没有指定调试记录文件（--record），未写入任何数据");
        return nullptr;
    }
    if (rec->recorder_.open(QString::fromStdString(file)) == record::OpenStatus::Opened)
        return rec;
    const std::string why = rec->recorder_.problem().toStdString();
    if (required) {
        warn("错误：" + why + "，未写入任何数据");
        return nullptr;
    }
    warn("警告：" + why + "，本次写入不记录（文件未改动）");
    return rec;
}

record::WriteStart CliRecord::start(record::WriteKind kind, const link::ShellState& shell) const {
    record::WriteStart s;
    s.kind = kind;
    s.program = QStringLiteral("projector-cli");
    s.room = QString::fromStdString(room_);
    s.controller = record::controllerOf(shell);
    return s;
}

RecordedWrite::RecordedWrite(CliRecord& record, const record::WriteStart& start)
    : recorder_(record.recorder())
    , id_(recorder_.beginWrite(start)) {}

RecordedWrite::~RecordedWrite() {
    if (!done_)
        recorder_.finishWrite(id_, record::WriteOutcome::WriteFailed, {});
}

link::SequenceObserver& RecordedWrite::observe(const link::CodeList& rows,
                                               link::SequenceObserver& inner) {
    observer_ = std::make_unique<record::RecordingObserver>(recorder_, id_, rows, inner);
    return *observer_;
}

void RecordedWrite::echo(int row, const link::CodeListEntry& entry, const link::Bytes& block) {
    record::recordEcho(recorder_, id_, row, entry, block);
}

void RecordedWrite::done(const link::SequenceResult& result) {
    done_ = true;
    recorder_.finishWrite(id_, record::outcomeOf(result.outcome),
                          QString::fromStdString(result.message));
}

} // namespace pj::cli

// projector-cli report: the room report from the commissioning record.

#include "cli/command.h"
#include "cli/link_commands.h"
#include "cli/record_commands.h"
#include "cli/recording.h"
#include "cli/report_output.h"
#include "record/recorder.h"
#include "record/reportfile.h"

#include <QGuiApplication>

#include <memory>
#include <ostream>

namespace pj::cli {

const char kReportSynopsis[] = "report [--record FILE] [--catalogue FILE] [--room NAME] "
                               "[--since DATE] --html FILE | --csv FILE | --pdf FILE";

namespace {

int usage(Io& io, const std::string& why) {
    io.err << "用法错误：" << why << '\n' << "用法: projector-cli " << kReportSynopsis << '\n';
    return kUsage;
}

// Rich-text layout for the PDF needs a QGuiApplication; a command-line run
// has none, so one is made on the offscreen platform for the time of the
// command (no display is needed or touched).
class PdfSupport {
public:
    PdfSupport() {
        if (QCoreApplication::instance())
            return;
        const QByteArray old = qgetenv("QT_QPA_PLATFORM");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        if (old.isNull())
            qunsetenv("QT_QPA_PLATFORM");
        else
            qputenv("QT_QPA_PLATFORM", old);
    }

private:
    int argc_ = 1;
    char name_[14] = "projector-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

} // namespace

void addReportOptions(OptionSpec& spec) {
    spec.single.insert("--html");
    spec.single.insert("--csv");
    spec.single.insert("--pdf");
}

bool wantsReport(const ParsedArgs& args) {
    return args.has("--html") || args.has("--csv") || args.has("--pdf");
}

bool writeReportFiles(const record::RoomReport& report, const ParsedArgs& args, std::ostream& out,
                      std::ostream& err) {
    bool ok = true;
    const std::pair<const char*, record::ReportFormat> formats[] = {
        {"--html", record::ReportFormat::Html},
        {"--csv", record::ReportFormat::Csv},
        {"--pdf", record::ReportFormat::Pdf},
    };
    for (const auto& [option, format] : formats) {
        const auto path = args.value(option);
        if (!path)
            continue;
        std::optional<PdfSupport> support;
        if (format == record::ReportFormat::Pdf)
            support.emplace();
        QString error;
        if (record::writeReportFile(report, format, QString::fromStdString(*path), error)) {
            out << "报告已写入 " << *path << '\n';
        } else {
            err << "错误：" << error.toStdString() << '\n';
            ok = false;
        }
    }
    return ok;
}

std::optional<QDateTime> parseSince(const std::string& text) {
    const QString t = QString::fromStdString(text).trimmed();
    const QDate day = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (day.isValid())
        return QDateTime(day, QTime(0, 0)).toUTC();
    for (const char* format :
         {"yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm", "yyyy-MM-ddTHH:mm:ss"}) {
        const QDateTime at = QDateTime::fromString(t, QString::fromLatin1(format));
        if (at.isValid())
            return at.toUTC();
    }
    return std::nullopt;
}

int reportCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    std::string error;
    OptionSpec spec{{"--record", "--catalogue", "--room", "--since"}, {}, {}};
    addReportOptions(spec);
    const auto a = parseArgs(args, spec, error);
    if (!a)
        return usage(io, error);
    if (a->help) {
        io.out << "用法: projector-cli " << kReportSynopsis << '\n';
        return kOk;
    }
    if (!wantsReport(*a))
        return usage(io, "请给出 --html、--csv 或 --pdf");
    record::WriteFilter filter;
    if (const auto room = a->value("--room"))
        filter.room = QString::fromStdString(*room);
    if (const auto since = a->value("--since")) {
        const auto at = parseSince(*since);
        if (!at)
            return usage(io, "--since 的日期应为 2026-12-01 或 2026-12-01 08:30: " + *since);
        filter.since = *at;
    }
    const std::string file = recordFileOf(*a, env, a->value("--catalogue").value_or(""));
    if (file.empty())
        return usage(io, "缺少 --record");
    record::Recorder recorder;
    if (recorder.open(QString::fromStdString(file), false) != record::OpenStatus::Opened) {
        io.err << "错误：" << recorder.problem().toStdString() << '\n';
        return kFailed;
    }
    const auto writes = recorder.writes(filter);
    if (!writes) {
        io.err << "错误：无法读取调试记录 " << file << '\n';
        return kFailed;
    }
    record::RoomReport report = record::buildRoomReport(*writes, recorder.now());
    report.roomFilter = filter.room.value_or(QString());
    report.since = filter.since;
    if (report.rooms.empty())
        io.err << "注意：调试记录中没有符合条件的写入，报告是空的\n";
    return writeReportFiles(report, *a, io.out, io.err) ? kOk : kFailed;
}

} // namespace pj::cli

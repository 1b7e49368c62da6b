// projector-cli commission ROOMS.csv: every room of a rooms file, the rows of
// different ports at the same time, with live progress, the record and the
// report.

#include "cli/commission_plan.h"
#include "cli/commission_run.h"
#include "cli/interrupt.h"
#include "cli/model_source.h"
#include "cli/record_commands.h"
#include "cli/recording.h"
#include "cli/report_output.h"
#include "cli/terminal.h"
#include "link/messages.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>

namespace pj::cli {

const char kCommissionSynopsis[] =
    "commission ROOMS.csv [--catalogue FILE] [--pause] [--wait-echo SECONDS] [--json] "
    "[--record FILE] [--require-record] [--html FILE] [--csv FILE] [--pdf FILE]";

namespace {

int usage(Io& io, const std::string& why) {
    io.err << "用法错误：" << why << '\n' << "用法: projector-cli " << kCommissionSynopsis << '\n';
    return kUsage;
}

// One JSON event (keys in alphabetical order).
using JsonField = std::pair<const char*, QJsonValue>;
std::string jsonLine(std::initializer_list<JsonField> fields) {
    QJsonObject o;
    for (const auto& [key, value] : fields)
        o.insert(QLatin1String(key), value);
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

QJsonValue text(const char* s) {
    return QJsonValue(QString::fromUtf8(s));
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

const char* stepToken(CommissionStep s) {
    switch (s) {
    case CommissionStep::Codes:
        return "codes";
    case CommissionStep::Echoes:
        return "echoes";
    case CommissionStep::Room:
        return "room";
    case CommissionStep::Card:
        return "card";
    }
    return "";
}

const char* stepText(CommissionStep s) {
    switch (s) {
    case CommissionStep::Codes:
        return "写码";
    case CommissionStep::Echoes:
        return "等待回码";
    case CommissionStep::Room:
        return "房间参数";
    case CommissionStep::Card:
        return "ID卡";
    }
    return "";
}

std::string rowName(const PlannedRow& row) {
    return "第 " + std::to_string(row.line) + " 行 房间 " + row.room;
}

// Shows the run: JSON events, a line per event, or one live line per port.
class RunPrinter final : public CommissionEvents {
public:
    enum class Mode { Json, Lines, Live };

    RunPrinter(Io& io, Mode mode, const CommissionPlan& plan)
        : io_(io)
        , mode_(mode) {
        for (const auto& group : plan.byPort()) {
            const PlannedRow& first = plan.rows[group.front()];
            portIndex_[first.portKey] = ports_.size();
            ports_.push_back({first.port, "等待"});
        }
        if (mode_ == Mode::Live) {
            std::lock_guard lock(mu_);
            redrawLocked();
        }
    }

    void rowStarted(const PlannedRow& row) override {
        messages_[row.line].clear();
        if (mode_ == Mode::Json)
            return event({{"event", text("row")},
                          {"line", row.line},
                          {"room", q(row.room)},
                          {"port", q(row.port)}});
        update(row, rowName(row) + "：开始");
    }
    void step(const PlannedRow& row, CommissionStep s) override {
        if (mode_ == Mode::Json)
            return event(
                {{"event", text("step")}, {"line", row.line}, {"step", text(stepToken(s))}});
        if (s != CommissionStep::Codes)
            update(row, rowName(row) + "：" + stepText(s));
    }
    void keyProgress(const PlannedRow& row, int done, int total, int percent) override {
        if (mode_ != Mode::Live)
            return;
        const int width = 12;
        const int filled =
            total > 0 ? (done * 100 + (percent == 50 ? 50 : 0)) * width / (total * 100) : 0;
        update(row, rowName(row) + "：写码 " + std::to_string(done) + "/" + std::to_string(total) +
                        " [" + std::string(static_cast<std::size_t>(filled), '#') +
                        std::string(static_cast<std::size_t>(width - filled), '.') + "]");
    }
    void keyWritten(const PlannedRow& row, std::size_t key) override {
        const auto& e = row.codes->rows[key];
        if (mode_ == Mode::Json)
            return event({{"event", text("written")},
                          {"line", row.line},
                          {"key", static_cast<int>(key)},
                          {"slot", static_cast<int>(e.keyType)}});
        if (mode_ == Mode::Lines)
            update(row, rowName(row) + "：已写入第 " + std::to_string(key) + " 个功能码（键 " +
                            std::to_string(e.keyType) + "）");
    }
    void keyConfirmed(const PlannedRow& row, std::size_t key) override {
        if (mode_ == Mode::Json)
            return event(
                {{"event", text("confirmed")}, {"line", row.line}, {"key", static_cast<int>(key)}});
        update(row, rowName(row) + "：第 " + std::to_string(key) + " 个功能码已确认");
    }
    void message(const PlannedRow& row, const std::string& said) override {
        {
            std::lock_guard lock(mu_);
            if (!messages_[row.line].insert(said).second)
                return; // said once for the row
        }
        if (mode_ == Mode::Json)
            return event({{"event", text("message")}, {"line", row.line}, {"text", q(said)}});
        note(rowName(row) + "（" + row.port + "）：" + said);
    }
    void rowFinished(const PlannedRow& row, const RowResult& r) override {
        if (mode_ == Mode::Json)
            return event({{"event", text("done")},
                          {"line", row.line},
                          {"room", q(row.room)},
                          {"ok", r.done},
                          {"written", r.keysWritten},
                          {"confirmed", r.keysConfirmed},
                          {"message", q(r.message)}});
        update(row, rowName(row) + "：" + (r.done ? std::string("完成") : "失败：" + r.message));
    }
    bool waitForNext(const PlannedRow& next) override {
        std::lock_guard input(inputMu_);
        const std::string prompt = "请把" + rowName(next) + " 的中控接到 " + next.port +
                                   "，然后按回车（输入 q 跳过该串口余下的行）";
        if (mode_ == Mode::Json)
            event({{"event", text("pause")},
                   {"line", next.line},
                   {"room", q(next.room)},
                   {"port", q(next.port)}});
        else
            update(next, prompt);
        std::string answer;
        if (!std::getline(io_.in, answer))
            return false;
        return answer != "q" && answer != "Q";
    }

    // After the run: the live lines stay as they are; the summary follows.
    void finish() {
        std::lock_guard lock(mu_);
        drawn_ = 0;
    }

    void event(std::initializer_list<JsonField> fields) {
        std::lock_guard lock(mu_);
        io_.out << jsonLine(fields) << '\n';
        io_.out.flush();
    }

private:
    struct Port {
        std::string label;
        std::string text;
    };

    void update(const PlannedRow& row, const std::string& text) {
        std::lock_guard lock(mu_);
        if (mode_ == Mode::Lines) {
            io_.out << "[" << row.port << "] " << text << '\n';
            io_.out.flush();
            return;
        }
        ports_[portIndex_[row.portKey]].text = text;
        redrawLocked();
    }

    // A line that is not a port's state: above the live lines, on stderr.
    void note(const std::string& line) {
        std::lock_guard lock(mu_);
        if (mode_ == Mode::Live && drawn_ > 0) {
            io_.out << "\x1b[" << drawn_ << "A\r\x1b[J";
            io_.out.flush();
            drawn_ = 0;
        }
        io_.err << line << '\n';
        io_.err.flush();
        if (mode_ == Mode::Live)
            redrawLocked();
    }

    void redrawLocked() {
        std::string s;
        if (drawn_ > 0)
            s += "\x1b[" + std::to_string(drawn_) + "A";
        for (const Port& p : ports_)
            s += "\r\x1b[2K" + p.label + "  " + p.text + "\n";
        drawn_ = ports_.size();
        io_.out << s;
        io_.out.flush();
    }

    Io& io_;
    Mode mode_;
    std::mutex mu_;
    std::mutex inputMu_;
    std::vector<Port> ports_;
    std::map<std::string, std::size_t> portIndex_;
    std::size_t drawn_ = 0;
    std::map<int, std::set<std::string>> messages_;
};

} // namespace

int commissionCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env,
                      ProgressStyle style) {
    if (std::find_if(args.begin(), args.end(), [](const std::string& a) {
            return a == "--help" || a == "-h";
        }) != args.end()) {
        io.out << "用法: projector-cli " << kCommissionSynopsis << '\n';
        return kOk;
    }
    if (args.empty() || args[0].rfind("--", 0) == 0)
        return usage(io, "缺少房间文件 ROOMS.csv");
    const std::string roomsFile = args[0];
    std::string error;
    OptionSpec spec{
        {"--catalogue", "--wait-echo", "--record"}, {}, {"--pause", "--json", "--require-record"}};
    addReportOptions(spec);
    const auto a = parseArgs({args.begin() + 1, args.end()}, spec, error);
    if (!a)
        return usage(io, error);
    CommissionOptions options;
    options.pause = a->has("--pause");
    if (const auto v = a->value("--wait-echo")) {
        const auto seconds = parseInteger(*v, 0, 3600);
        if (!seconds)
            return usage(io, "--wait-echo 需要 0 到 3600 的整数秒数");
        options.waitEcho = link::Millis{*seconds * 1000};
    }
    const bool json = a->has("--json");

    QFile file(QString::fromStdString(roomsFile));
    if (!file.open(QIODevice::ReadOnly)) {
        io.err << "错误：无法读取房间文件 " << roomsFile << "：" << file.errorString().toStdString()
               << '\n';
        return kFailed;
    }
    const std::string catalogueFile = a->value("--catalogue").value_or("");
    ModelCodesLookup models;
    models.load = [&catalogueFile](const std::string& company, const std::string& model,
                                   std::string& why) -> std::optional<link::SelectedModel> {
        auto codes = loadModelCodes(catalogueFile, company, model, why);
        if (!codes)
            return std::nullopt;
        link::SelectedModel m;
        m.rows = std::move(codes->rows);
        m.selectedBaud = codes->baud;
        m.selectedBaudText = std::to_string(codes->baud);
        return m;
    };
    const CommissionPlan plan = readCommissionPlan(file.readAll(), models);
    if (!plan.errors.empty()) {
        for (const auto& e : plan.errors) {
            if (json)
                io.out << jsonLine({{"event", text("refused")},
                                    {"line", e.line},
                                    {"reason", q(e.reason)}})
                       << '\n';
            io.err << roomsFile << " 第 " << e.line << " 行：" << e.reason << '\n';
        }
        io.err << "房间文件有错误，未写入任何数据\n";
        return kFailed;
    }
    for (const auto& row : plan.rows) {
        if (row.approximateBaud)
            io.err << "警告：" << rowName(row) << "："
                   << link::msg::formatMessage(link::msg::kBaudApproximate,
                                               row.codes->selectedBaudText)
                   << "——仍然写入\n";
    }

    // A report is made from the record: without one it cannot be made.
    ParsedArgs recordArgs = *a;
    if (wantsReport(*a))
        recordArgs.flags.insert("--require-record");
    auto record = CliRecord::open(recordArgs, env, catalogueFile,
                                  [&io](const std::string& line) { io.err << line << '\n'; });
    if (!record)
        return kFailed;

    const RunPrinter::Mode mode = json                           ? RunPrinter::Mode::Json
                                  : style == ProgressStyle::Live ? RunPrinter::Mode::Live
                                                                 : RunPrinter::Mode::Lines;
    const QDateTime started = record->recorder().now();
    RunPrinter printer(io, mode, plan);
    std::vector<RowResult> results;
    {
        InterruptScope interrupts(env.stop == nullptr);
        results = runCommission(plan, env, *record, printer, options);
    }
    printer.finish();

    int done = 0;
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i].done)
            ++done;
        else
            failures.push_back(rowName(plan.rows[i]) + "（" + plan.rows[i].port + "）：" +
                               results[i].message);
    }
    if (json) {
        printer.event({{"event", text("summary")},
                       {"rows", static_cast<int>(results.size())},
                       {"done", done},
                       {"failed", static_cast<int>(failures.size())}});
    } else {
        io.out << "完成 " << done << " 个房间（共 " << results.size() << " 个）\n";
        for (const auto& f : failures)
            io.out << "未完成：" << f << '\n';
    }

    bool reportsWritten = true;
    if (wantsReport(*a)) {
        record::WriteFilter filter;
        filter.since = started;
        std::set<QString> rooms;
        for (const auto& row : plan.rows)
            rooms.insert(q(row.room));
        auto writes = record->recorder().writes(filter).value_or(std::vector<record::WriteEntry>{});
        std::erase_if(writes,
                      [&rooms](const record::WriteEntry& w) { return !rooms.count(w.start.room); });
        const record::RoomReport report = record::buildRoomReport(writes, record->recorder().now());
        std::ostringstream quiet;
        reportsWritten = writeReportFiles(report, *a, json ? quiet : io.out, io.err);
    }
    return failures.empty() && reportsWritten ? kOk : kFailed;
}

std::span<const CommandInfo> recordCommands() {
    static const CommandInfo table[] = {
        {"report", kReportSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return reportCommand(a, io, recordingLinkEnv());
         }},
        {"commission", kCommissionSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return commissionCommand(a, io, recordingLinkEnv(),
                                      stdoutIsLiveTerminal() ? ProgressStyle::Live
                                                             : ProgressStyle::Lines);
         }},
    };
    return table;
}

} // namespace pj::cli

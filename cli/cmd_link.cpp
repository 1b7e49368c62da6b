// projector-cli's controller commands: ports, detect, write, room, card, monitor.
// Each is a small function over injected streams and surroundings (LinkEnv);
// the controller work itself is the link core's.

#include "cli/args.h"
#include "cli/command.h"
#include "cli/interrupt.h"
#include "cli/link_commands.h"
#include "cli/model_source.h"
#include "cli/recording.h"
#include "link/codetext.h"
#include "link/detection.h"
#include "link/edition.h"
#include "link/messages.h"
#include "link/receivedtext.h"
#include "link/roomcard.h"
#include "link/sequences.h"
#include "link/serialchannel.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <ostream>
#include <set>

namespace pj::cli {

namespace link = pj::link;
using link::Bytes;
using link::Millis;

namespace {

// ---- output -----------------------------------------------------------------

std::string jsonQuote(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// Output from the command's thread and the channel's reader thread; each line
// goes out whole. Error lines are printed once each.
class Printer {
public:
    explicit Printer(Io& io)
        : io_(io) {}
    void out(const std::string& line) {
        std::lock_guard lock(mu_);
        io_.out << line << '\n';
        io_.out.flush();
    }
    void outRaw(const std::string& text) {
        std::lock_guard lock(mu_);
        io_.out << text;
        io_.out.flush();
    }
    void error(const std::string& line) {
        std::lock_guard lock(mu_);
        if (!printedErrors_.insert(line).second)
            return;
        io_.err << line << '\n';
        io_.err.flush();
    }

private:
    Io& io_;
    std::mutex mu_;
    std::set<std::string> printedErrors_;
};

int usageError(Io& io, const std::string& why, const char* synopsis) {
    io.err << "用法错误：" << why << '\n' << "用法: projector-cli " << synopsis << '\n';
    return kUsage;
}

// The command line read by `spec`; nullopt when the command ends here, with its
// exit code in `exit`: a usage error, or --help (the usage on stdout, exit 0).
std::optional<ParsedArgs> readCommandLine(const std::vector<std::string>& args,
                                          const OptionSpec& spec, const char* synopsis, Io& io,
                                          int& exit) {
    std::string error;
    auto a = parseArgs(args, spec, error);
    if (!a) {
        exit = usageError(io, error, synopsis);
        return std::nullopt;
    }
    if (a->help) {
        io.out << "用法: projector-cli " << synopsis << '\n';
        exit = kOk;
        return std::nullopt;
    }
    return a;
}

// The exit code of a sequence that did not complete: 2 when the port cannot
// take the projector's line (the speed asked for is no use here), else 1.
int exitFor(const link::SequenceResult& result) {
    return result.outcome == link::SequenceOutcome::LineRefused ? kUsage : kFailed;
}

// ---- shared option handling ---------------------------------------------------

// Seconds as a decimal number (0.5, 3), at most one day.
std::optional<Millis> parseSeconds(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(text.begin(), text.end(), '.') > 1 || text == ".")
        return std::nullopt;
    const double s = std::strtod(text.c_str(), nullptr);
    if (s < 0 || s > 86400)
        return std::nullopt;
    return Millis{static_cast<long long>(s * 1000 + 0.5)};
}

// --port, --edition and --machine-type, as the write, room and card commands
// take them. Returns an error text for a usage error.
std::optional<std::string> readController(const ParsedArgs& a, link::ShellState& shell) {
    const auto port = a.value("--port");
    if (!port || port->empty())
        return std::string("缺少 --port");
    const auto editionText = a.value("--edition");
    if (!editionText)
        return std::string("缺少 --edition");
    const auto edition = parseInteger(*editionText, 0, 99999);
    if (!edition || !link::findEdition(static_cast<int>(*edition)))
        return link::msg::formatMessage(link::msg::kUnknownEdition, *editionText);
    int machineType = 0;
    if (const auto mt = a.value("--machine-type")) {
        const auto v = parseInteger(*mt, 0, 1);
        if (!v)
            return std::string("--machine-type 只能是 0（单机）或 1（网络）");
        machineType = static_cast<int>(*v);
    }
    shell.portName = *port;
    shell.editionCode = static_cast<int>(*edition);
    shell.machineType = machineType;
    shell.controllerBaud = *link::programmingBaud(shell.editionCode, machineType);
    return std::nullopt;
}

std::unique_ptr<link::SerialChannel> makeChannel(const LinkEnv& env, Printer& printer) {
    auto channel = std::make_unique<link::SerialChannel>(env.makePort(), *env.clock);
    channel->setMessageSink([&printer](const std::string& text) { printer.error(text); });
    return channel;
}

// What the sequences report, printed.
class CliObserver : public link::SequenceObserver {
public:
    CliObserver(Printer& printer, bool json, const link::SelectedModel* model = nullptr)
        : printer_(printer)
        , json_(json)
        , model_(model) {}

    void rowWritten(std::size_t row) override {
        const link::CodeListEntry* e =
            model_ && row < model_->rows.size() ? &model_->rows[row] : nullptr;
        const std::string code = e ? link::bytesToCodeText(link::codeTextToBytes(e->codeText)) : "";
        const unsigned key = e ? e->keyType : 0;
        if (json_) {
            printer_.out("{\"event\":\"written\",\"row\":" + std::to_string(row) +
                         ",\"key\":" + std::to_string(key) + ",\"code\":" + jsonQuote(code) + "}");
        } else {
            printer_.out("第 " + std::to_string(row) + " 行已写入（键 " + std::to_string(key) +
                         "）: " + code);
        }
    }
    void rowRefused(std::size_t row, const std::string& reason) override {
        ++refused;
        if (json_)
            printer_.out("{\"event\":\"refused\",\"row\":" + std::to_string(row) +
                         ",\"reason\":" + jsonQuote(reason) + "}");
        const link::CodeListEntry* e =
            model_ && row < model_->rows.size() ? &model_->rows[row] : nullptr;
        const std::string name = e && !e->name.empty() ? "（" + e->name + "）" : "";
        printer_.error("第 " + std::to_string(row) + " 行" + name + "未写入: " + reason);
    }
    void message(const std::string& text) override { printer_.error(text); }
    void listening(std::uint32_t baud, link::Parity parity) override {
        listenBaud = baud;
        listenParity = parity;
        if (!announceListening)
            return;
        if (json_) {
            printer_.out("{\"event\":\"listening\",\"baud\":" + std::to_string(baud) +
                         ",\"parity\":" + jsonQuote(link::parityName(parity)) + "}");
        } else {
            printer_.out("正在以 " + std::to_string(baud) + " 波特（" + parityText(parity) +
                         "）等待回码，请按中控上的键……");
        }
    }
    bool confirmApproximateBaud(std::uint32_t, const std::string& question) override {
        // The command line cannot ask: warn and go on.
        std::string text = question;
        const std::string ask = "，是否继续？";
        if (text.size() >= ask.size() &&
            text.compare(text.size() - ask.size(), ask.size(), ask) == 0)
            text.resize(text.size() - ask.size());
        printer_.error("警告：" + text + "，仍然写入");
        return true;
    }

    static std::string parityText(link::Parity p) {
        switch (p) {
        case link::Parity::Odd:
            return "奇校验";
        case link::Parity::Even:
            return "偶校验";
        default:
            return "无校验";
        }
    }

    bool announceListening = false;
    std::size_t refused = 0;
    std::uint32_t listenBaud = 0;
    link::Parity listenParity = link::Parity::None;

private:
    Printer& printer_;
    bool json_;
    const link::SelectedModel* model_;
};

// Blocks from the reader thread, taken on the command's thread.
class BlockQueue {
public:
    void push(Bytes b) {
        std::lock_guard lock(mu_);
        blocks_.push_back(std::move(b));
    }
    std::optional<Bytes> pop() {
        std::lock_guard lock(mu_);
        if (blocks_.empty())
            return std::nullopt;
        Bytes b = std::move(blocks_.front());
        blocks_.pop_front();
        return b;
    }

private:
    std::mutex mu_;
    std::deque<Bytes> blocks_;
};

constexpr Millis kWaitStep{10};

// ---- synopses ---------------------------------------------------------------------

const char kPortsSynopsis[] = "ports [--json]";
const char kDetectSynopsis[] = "detect [--port PORT]... [--json]";
const char kWriteSynopsis[] =
    "write --port PORT --edition CODE [--machine-type 0|1] [--visualizer N] "
    "(--projector-baud BAUD --code SLOT:PARITY:CODETEXT [--code ...] | "
    "--catalogue FILE --company C --model M [--keys all|N,N,...] [--projector-baud BAUD]) "
    "[--wait-echo SECONDS] [--room NAME] [--record FILE] [--require-record] [--json]";
const char kRoomSynopsis[] =
    "room --port PORT --edition CODE [--machine-type 0|1] [--signal-source 0-4] [--off-delay N] "
    "[--visualizer-type 0|1] [--curtain N] [--alarm 0|1] [--one-key 0|1] [--door-open 0|1] "
    "[--network 0|1] [--projector-baud BAUD] [--room NAME] [--record FILE] [--require-record] "
    "[--json]";
const char kCardSynopsis[] = "card --port PORT --edition CODE [--machine-type 0|1] --number TEXT "
                             "[--room NAME] [--record FILE] [--require-record] [--json]";
const char kMonitorSynopsis[] =
    "monitor --port PORT --baud BAUD [--parity none|odd|even] [--ascii] [--seconds N] [--json]";

} // namespace

std::optional<link::CodeListEntry> parseCodeOption(const std::string& text, std::string& error) {
    const auto c1 = text.find(':');
    const auto c2 = c1 == std::string::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string::npos) {
        error = "--code 的格式是 SLOT:PARITY:CODETEXT，例如 0:none:\"a0 01 0d\"";
        return std::nullopt;
    }
    const auto slot = parseInteger(text.substr(0, c1), 0, 17);
    if (!slot) {
        error = "--code 的键号必须是 0 到 17: " + text;
        return std::nullopt;
    }
    const auto parity = parseParity(text.substr(c1 + 1, c2 - c1 - 1));
    if (!parity) {
        error = "--code 的校验必须是 none、odd 或 even: " + text;
        return std::nullopt;
    }
    const std::string codeText = text.substr(c2 + 1);
    const auto bytes = link::parseCodeTextStrict(codeText);
    if (!bytes) {
        error = "功能码不是十六进制字节: " + codeText;
        return std::nullopt;
    }
    link::CodeListEntry e;
    e.codeText = link::bytesToCodeText(*bytes);
    e.keyType = static_cast<std::uint32_t>(*slot);
    e.parity = static_cast<std::uint32_t>(*parity);
    e.selected = true;
    return e;
}

// --keys all|N,N,...: positions counted from 0.
std::optional<std::vector<std::size_t>> parseKeys(const std::string& text, std::size_t count,
                                                  std::string& error) {
    std::vector<std::size_t> out;
    if (text == "all") {
        for (std::size_t i = 0; i < count; ++i)
            out.push_back(i);
        return out;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const auto n = parseInteger(item, 0, 100000);
        if (!n) {
            error = "--keys 应为 all 或以逗号分隔的行号（从 0 起）: " + text;
            return std::nullopt;
        }
        if (static_cast<std::size_t>(*n) >= count) {
            error = "该型号没有第 " + item + " 行（共 " + std::to_string(count) + " 行）";
            return std::nullopt;
        }
        out.push_back(static_cast<std::size_t>(*n));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return out;
}

// ---- formatting -------------------------------------------------------------------

std::string formatReceivedBlock(std::span<const std::uint8_t> block, bool ascii) {
    return link::formatReceivedBlock(block, ascii);
}

// ---- commands ----------------------------------------------------------------------

int portsCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    int exit = kOk;
    const auto a = readCommandLine(args, {{}, {}, {"--json"}}, kPortsSynopsis, io, exit);
    if (!a)
        return exit;
    const auto ports = env.listPorts({});
    if (a->has("--json")) {
        std::string line = "{\"ports\":[";
        for (std::size_t i = 0; i < ports.size(); ++i)
            line += (i ? "," : "") + jsonQuote(ports[i]);
        io.out << line << "]}\n";
    } else {
        for (const auto& p : ports)
            io.out << p << '\n';
        if (ports.empty())
            io.err << "没有找到串口\n";
    }
    return kOk;
}

int detectCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    int exit = kOk;
    const auto a = readCommandLine(args, {{}, {"--port"}, {"--json"}}, kDetectSynopsis, io, exit);
    if (!a)
        return exit;
    const auto given = a->values("--port");
    if (std::any_of(given.begin(), given.end(), [](const std::string& p) { return p.empty(); }))
        return usageError(io, "--port 不能为空", kDetectSynopsis);
    const std::vector<std::string> ports = given.empty() ? env.listPorts({}) : given;
    Printer printer(io);
    auto channel = makeChannel(env, printer);
    CliObserver observer(printer, a->has("--json"));
    const link::DetectionResult r = link::detectionScan(*channel, ports, observer);
    channel->close();
    for (const auto& problem : r.unusable)
        printer.error(problem.message);
    if (!r.found) {
        printer.error("没有找到合适的中控（扫描了 " + std::to_string(ports.size()) + " 个串口）");
        return kFailed;
    }
    const auto* ed = link::findEdition(r.edition.editionCode);
    if (a->has("--json")) {
        printer.out("{\"port\":" + jsonQuote(r.portName) +
                    ",\"edition\":" + std::to_string(r.edition.editionCode) +
                    ",\"baud\":" + std::to_string(r.edition.controllerBaud) + "}");
    } else {
        printer.out("找到中控: 串口 " + r.portName + "，版本 " +
                    std::to_string(r.edition.editionCode) + "（" + (ed ? ed->label : "") +
                    "），编程波特率 " + std::to_string(r.edition.controllerBaud));
    }
    return kOk;
}

int writeCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    std::string error;
    OptionSpec spec{{"--port", "--edition", "--machine-type", "--visualizer", "--projector-baud",
                     "--wait-echo", "--catalogue", "--company", "--model", "--keys"},
                    {"--code"},
                    {"--json"}};
    addRecordOptions(spec);
    int exit = kOk;
    const auto a = readCommandLine(args, spec, kWriteSynopsis, io, exit);
    if (!a)
        return exit;
    link::ShellState shell;
    if (auto why = readController(*a, shell))
        return usageError(io, *why, kWriteSynopsis);
    if (const auto v = a->value("--visualizer")) {
        const auto n = parseInteger(*v, 0, 255);
        if (!n)
            return usageError(io, "--visualizer 必须是 0 到 255 的整数", kWriteSynopsis);
        shell.visualizerNumber = static_cast<int>(*n);
    }
    std::optional<std::uint32_t> baud;
    if (const auto v = a->value("--projector-baud")) {
        baud = link::parseBaudText(*v);
        if (!baud)
            return usageError(io, std::string(link::msg::kInvalidBaud) + ": " + *v, kWriteSynopsis);
    }
    std::optional<Millis> waitEcho;
    if (const auto v = a->value("--wait-echo")) {
        waitEcho = parseSeconds(*v);
        if (!waitEcho)
            return usageError(io, "--wait-echo 需要秒数（0 到 86400）", kWriteSynopsis);
    }

    link::SelectedModel model;
    const bool fromCodes = a->has("--code");
    const bool fromCatalogue =
        a->has("--company") || a->has("--model") || a->has("--catalogue") || a->has("--keys");
    if (fromCodes == fromCatalogue)
        return usageError(io, "请给出 --code，或者 --catalogue/--company/--model（二选一）",
                          kWriteSynopsis);
    if (fromCodes) {
        if (!baud)
            return usageError(io, "缺少 --projector-baud", kWriteSynopsis);
        for (const auto& text : a->values("--code")) {
            auto row = parseCodeOption(text, error);
            if (!row)
                return usageError(io, error, kWriteSynopsis);
            model.rows.push_back(std::move(*row));
        }
    } else {
        const auto company = a->value("--company");
        const auto modelName = a->value("--model");
        if (!company || !modelName)
            return usageError(io, "从目录写码需要 --company 和 --model", kWriteSynopsis);
        auto codes =
            loadModelCodes(a->value("--catalogue").value_or(""), *company, *modelName, error);
        if (!codes) {
            io.err << error << '\n';
            return kFailed;
        }
        auto keys = parseKeys(a->value("--keys").value_or("all"), codes->rows.size(), error);
        if (!keys)
            return usageError(io, error, kWriteSynopsis);
        model.rows = std::move(codes->rows);
        for (auto& r : model.rows)
            r.selected = false;
        for (std::size_t k : *keys)
            model.rows[k].selected = true;
        if (!baud)
            baud = codes->baud;
    }
    model.selectedBaud = *baud;
    model.selectedBaudText = std::to_string(*baud);

    const bool json = a->has("--json");
    Printer printer(io);
    auto record = CliRecord::open(*a, env, a->value("--catalogue").value_or(""),
                                  [&printer](const std::string& line) { printer.error(line); });
    if (!record)
        return kFailed;
    record::WriteStart start = record->start(record::WriteKind::Codes, shell);
    start.company = QString::fromStdString(a->value("--company").value_or(""));
    start.model = QString::fromStdString(a->value("--model").value_or(""));
    start.projectorBaud = model.selectedBaud;
    RecordedWrite recorded(*record, start);

    auto channel = makeChannel(env, printer);
    BlockQueue blocks;
    channel->setReceiveHandler([&blocks](Bytes b) { blocks.push(std::move(b)); });
    CliObserver observer(printer, json, &model);
    observer.announceListening = waitEcho.has_value() || json;

    const link::SequenceResult result =
        link::writeSelectedCodes(*channel, shell, model, recorded.observe(model.rows, observer));
    recorded.done(result);
    if (!result.ok()) {
        if (!result.message.empty())
            printer.error(result.message);
        else if (result.outcome == link::SequenceOutcome::Cancelled)
            printer.error("写码已取消");
        channel->close();
        return exitFor(result);
    }

    std::vector<bool> confirmed(model.rows.size(), false);
    if (waitEcho && result.listening && waitEcho->count() > 0) {
        InterruptScope interrupts(env.stop == nullptr);
        link::Clock& clock = *env.clock;
        const Millis deadline = clock.now() + *waitEcho;
        auto takeBlocks = [&] {
            while (auto block = blocks.pop()) {
                const auto row = link::matchEcho(model.rows, *block);
                if (!row)
                    continue;
                if (!confirmed[*row])
                    recorded.echo(static_cast<int>(*row), model.rows[*row], *block);
                confirmed[*row] = true;
                if (json)
                    printer.out("{\"event\":\"confirmed\",\"row\":" + std::to_string(*row) + "}");
                else
                    printer.out("第 " + std::to_string(*row) + " 行已确认（回码 " +
                                link::bytesToCodeText(*block) + "）");
            }
        };
        auto allConfirmed = [&] {
            for (std::size_t i = 0; i < model.rows.size(); ++i) {
                if (model.rows[i].selected && !confirmed[i] &&
                    link::codeTextToBytes(model.rows[i].codeText).size() <= link::kMaxCodeBytes)
                    return false;
            }
            return true;
        };
        while (!allConfirmed() && clock.now() < deadline && !stopRequested(env) &&
               !channel->deviceLost()) {
            takeBlocks();
            if (allConfirmed())
                break;
            clock.sleep(std::min(kWaitStep, deadline - clock.now()));
        }
        if (!channel->deviceLost())
            channel->pollReceived();
        takeBlocks();
        if (!json) {
            std::string missing;
            for (std::size_t i = 0; i < model.rows.size(); ++i) {
                if (model.rows[i].selected && !confirmed[i])
                    missing += (missing.empty() ? "" : ", ") + std::to_string(i);
            }
            if (!missing.empty())
                printer.out("未收到回码的行: " + missing);
        }
    }
    const bool lost = channel->deviceLost();
    channel->close();
    if (lost) {
        printer.error(link::msg::formatMessage(link::msg::kPortLost, shell.portName));
        return kFailed;
    }
    return observer.refused > 0 ? kFailed : kOk;
}

int roomCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    OptionSpec spec{{"--port", "--edition", "--machine-type", "--signal-source", "--off-delay",
                     "--visualizer-type", "--curtain", "--alarm", "--one-key", "--door-open",
                     "--network", "--projector-baud"},
                    {},
                    {"--json"}};
    addRecordOptions(spec);
    int exit = kOk;
    const auto a = readCommandLine(args, spec, kRoomSynopsis, io, exit);
    if (!a)
        return exit;
    link::ShellState shell;
    if (auto why = readController(*a, shell))
        return usageError(io, *why, kRoomSynopsis);
    link::RoomParameters p;
    struct Field {
        const char* option;
        long long lo, hi;
        std::function<void(long long)> set;
    };
    const Field fields[] = {
        {"--signal-source", 0, 4, [&](long long v) { p.signalSource = static_cast<int>(v); }},
        {"--off-delay", 0, 255,
         [&](long long v) { p.offDelayMinutes = static_cast<std::uint8_t>(v); }},
        {"--visualizer-type", 0, 1, [&](long long v) { p.visualizerType = static_cast<int>(v); }},
        {"--curtain", 0, 255,
         [&](long long v) { p.curtainSeconds = static_cast<std::uint8_t>(v); }},
        {"--alarm", 0, 1, [&](long long v) { p.shutdownAlarm = v != 0; }},
        {"--one-key", 0, 1, [&](long long v) { p.oneKey = v != 0; }},
        {"--door-open", 0, 1, [&](long long v) { p.doorNormallyOpen = v != 0; }},
        {"--network", 0, 1, [&](long long v) { p.networkMachine = v != 0; }},
    };
    for (const auto& f : fields) {
        if (const auto v = a->value(f.option)) {
            const auto n = parseInteger(*v, f.lo, f.hi);
            if (!n)
                return usageError(io,
                                  std::string(f.option) + " 必须是 " + std::to_string(f.lo) +
                                      " 到 " + std::to_string(f.hi) + " 的整数",
                                  kRoomSynopsis);
            f.set(*n);
        }
    }
    // The channel listens at the projector's speed afterwards, as in the window.
    std::uint32_t listenBaud = 9600;
    if (const auto v = a->value("--projector-baud")) {
        const auto baud = link::parseBaudText(*v);
        if (!baud)
            return usageError(io, std::string(link::msg::kInvalidBaud) + ": " + *v, kRoomSynopsis);
        listenBaud = *baud;
    }
    const bool json = a->has("--json");
    Printer printer(io);
    auto record =
        CliRecord::open(*a, env, "", [&printer](const std::string& line) { printer.error(line); });
    if (!record)
        return kFailed;
    const link::RoomParameterBlock block = link::buildRoomBlock(p);
    record::WriteStart start = record->start(record::WriteKind::Room, shell);
    start.roomBlock = record::roomBlockText(block);
    RecordedWrite recorded(*record, start);
    auto channel = makeChannel(env, printer);
    CliObserver observer(printer, json);
    const auto result = link::writeRoomParameters(*channel, shell, p, listenBaud, observer);
    recorded.done(result);
    channel->close();
    if (!result.ok()) {
        printer.error(result.message);
        return exitFor(result);
    }
    const std::string hex = link::bytesToCodeText(Bytes(block.begin(), block.end()));
    if (json)
        printer.out("{\"event\":\"room\",\"bytes\":" + jsonQuote(hex) +
                    ",\"visualizer\":" + std::to_string(shell.visualizerNumber) + "}");
    else
        printer.out("房间参数已写入: 5a, " + hex);
    return kOk;
}

int cardCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    OptionSpec spec{{"--port", "--edition", "--machine-type", "--number"}, {}, {"--json"}};
    addRecordOptions(spec);
    int exit = kOk;
    const auto a = readCommandLine(args, spec, kCardSynopsis, io, exit);
    if (!a)
        return exit;
    link::ShellState shell;
    if (auto why = readController(*a, shell))
        return usageError(io, *why, kCardSynopsis);
    const auto number = a->value("--number");
    if (!number)
        return usageError(io, "缺少 --number", kCardSynopsis);
    const bool json = a->has("--json");
    Printer printer(io);
    auto record =
        CliRecord::open(*a, env, "", [&printer](const std::string& line) { printer.error(line); });
    if (!record)
        return kFailed;
    record::WriteStart start = record->start(record::WriteKind::Card, shell);
    start.card = QString::fromStdString(*number);
    RecordedWrite recorded(*record, start);
    auto channel = makeChannel(env, printer);
    CliObserver observer(printer, json);
    const auto result = link::writeIdCard(*channel, shell, *number, observer);
    recorded.done(result);
    channel->close();
    if (!result.ok()) {
        printer.error(result.message);
        return kFailed;
    }
    if (json)
        printer.out("{\"event\":\"card\",\"number\":" + jsonQuote(*number) + "}");
    else if (number->empty())
        printer.out("ID卡号为空，未发送");
    else
        printer.out("ID卡号已写入: " + *number);
    return kOk;
}

int monitorCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    const OptionSpec spec{{"--port", "--baud", "--parity", "--seconds"}, {}, {"--ascii", "--json"}};
    int exit = kOk;
    const auto a = readCommandLine(args, spec, kMonitorSynopsis, io, exit);
    if (!a)
        return exit;
    const auto port = a->value("--port");
    if (!port || port->empty())
        return usageError(io, "缺少 --port", kMonitorSynopsis);
    const auto baudText = a->value("--baud");
    if (!baudText)
        return usageError(io, "缺少 --baud", kMonitorSynopsis);
    const auto baud = link::parseBaudText(*baudText);
    if (!baud)
        return usageError(io, std::string(link::msg::kInvalidBaud) + ": " + *baudText,
                          kMonitorSynopsis);
    int parity = 0;
    if (const auto v = a->value("--parity")) {
        const auto p = parseParity(*v);
        if (!p)
            return usageError(io, "--parity 只能是 none、odd 或 even", kMonitorSynopsis);
        parity = *p;
    }
    std::optional<Millis> seconds;
    if (const auto v = a->value("--seconds")) {
        seconds = parseSeconds(*v);
        if (!seconds)
            return usageError(io, "--seconds 需要秒数（0 到 86400）", kMonitorSynopsis);
    }
    const bool ascii = a->has("--ascii");
    const bool json = a->has("--json");
    Printer printer(io);
    auto channel = makeChannel(env, printer);
    auto show = [&printer, ascii, json](Bytes block) {
        if (json) {
            std::string line =
                "{\"event\":\"received\",\"bytes\":" + jsonQuote(link::bytesToCodeText(block));
            if (ascii)
                line += ",\"text\":" + jsonQuote(formatReceivedBlock(block, true));
            printer.out(line + "}");
        } else {
            printer.out(formatReceivedBlock(block, ascii));
        }
    };
    const link::LineSettings settings{*baud, 8, parity, 1};
    const auto opened = channel->open(*port, settings, show);
    if (opened != link::OpenResult::Opened) {
        if (opened == link::OpenResult::Unavailable)
            printer.error(link::openFailureText(*port, channel->lastOpenStatus()));
        return kFailed;
    }
    if (!json)
        io.err << "正在监听 " << *port << "，" << *baud << " 波特（"
               << CliObserver::parityText(link::parityFromCode(parity)) << "）"
               << (seconds ? "" : "，按 Ctrl-C 结束") << '\n';
    {
        InterruptScope interrupts(env.stop == nullptr);
        link::Clock& clock = *env.clock;
        const Millis start = clock.now();
        while (!stopRequested(env) && !channel->deviceLost()) {
            if (seconds && clock.now() - start >= *seconds)
                break;
            Millis step{50};
            if (seconds)
                step = std::min(step, *seconds - (clock.now() - start));
            clock.sleep(step);
        }
    }
    const bool lost = channel->deviceLost();
    if (!lost)
        channel->pollReceived();
    channel->close();
    if (lost) {
        printer.error(link::msg::formatMessage(link::msg::kPortLost, *port));
        return kFailed;
    }
    return kOk;
}

LinkEnv systemLinkEnv() {
    static link::SystemClock clock;
    LinkEnv env;
    env.makePort = [] { return pj::link::makeSystemSerialPort(); };
    env.clock = &clock;
    env.listPorts = [](std::span<const std::string> extra) { return link::availablePorts(extra); };
    return env;
}

std::span<const CommandInfo> linkCommands() {
    static const CommandInfo table[] = {
        {"ports", kPortsSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return portsCommand(a, io, systemLinkEnv());
         }},
        {"detect", kDetectSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return detectCommand(a, io, systemLinkEnv());
         }},
        {"write", kWriteSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return writeCommand(a, io, recordingLinkEnv());
         }},
        {"room", kRoomSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return roomCommand(a, io, recordingLinkEnv());
         }},
        {"card", kCardSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return cardCommand(a, io, recordingLinkEnv());
         }},
        {"monitor", kMonitorSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return monitorCommand(a, io, systemLinkEnv());
         }},
    };
    return table;
}

} // namespace pj::cli

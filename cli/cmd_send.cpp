// projector-cli send: test-sends one code to the projector and shows what
// comes back within the wait, in hex and as text, with the time of the first
// byte. Exit 0 when the projector answered, 1 when it did not or the port
// failed, 2 for a wrong command line.

#include "cli/args.h"
#include "cli/send_command.h"
#include "link/codetext.h"
#include "link/messages.h"
#include "link/roomcard.h"
#include "link/testsend.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <mutex>
#include <ostream>
#include <set>
#include <stop_token>
#include <thread>

namespace pj::cli {

namespace link = pj::link;

namespace {

const char kSendSynopsis[] = "send --port PORT --baud N [--parity none|odd|even] --code HEX "
                             "[--wait MS] [--json]";

constexpr long long kMaxWaitMs = 600000;

int usage(Io& io, const std::string& why) {
    io.err << "用法错误：" << why << '\n' << "用法: projector-cli " << kSendSynopsis << '\n';
    return kUsage;
}

const char* parityText(int parity) {
    switch (parity) {
    case 1:
        return "奇校验";
    case 2:
        return "偶校验";
    default:
        return "无校验";
    }
}

const char* outcomeName(link::TestSendOutcome o) {
    switch (o) {
    case link::TestSendOutcome::Answered:
        return "answered";
    case link::TestSendOutcome::NoAnswer:
        return "no-answer";
    case link::TestSendOutcome::Refused:
        return "refused";
    case link::TestSendOutcome::PortUnavailable:
        return "port-unavailable";
    case link::TestSendOutcome::PortFailed:
        return "port-failed";
    case link::TestSendOutcome::WriteFailed:
        return "write-failed";
    case link::TestSendOutcome::DeviceLost:
        return "device-lost";
    case link::TestSendOutcome::Stopped:
        return "stopped";
    }
    return "";
}

// Error lines from this thread and the channel's reader, each printed once.
class ErrorLines {
public:
    explicit ErrorLines(std::ostream& err)
        : err_(err) {}
    void print(const std::string& line) {
        std::lock_guard lock(mu_);
        if (line.empty() || !printed_.insert(line).second)
            return;
        err_ << line << '\n';
        err_.flush();
    }

private:
    std::ostream& err_;
    std::mutex mu_;
    std::set<std::string> printed_;
};

} // namespace

int sendCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    std::string error;
    const auto a = parseArgs(
        args, {{"--port", "--baud", "--parity", "--code", "--wait"}, {}, {"--json"}}, error);
    if (!a)
        return usage(io, error);
    if (a->help) {
        io.out << "用法: projector-cli " << kSendSynopsis << '\n';
        return kOk;
    }
    const auto port = a->value("--port");
    if (!port || port->empty())
        return usage(io, "缺少 --port");
    const auto baudText = a->value("--baud");
    if (!baudText)
        return usage(io, "缺少 --baud");
    const auto baud = link::parseBaudText(*baudText);
    if (!baud || *baud == 0)
        return usage(io, std::string(link::msg::kInvalidBaud) + ": " + *baudText);
    int parity = 0;
    if (const auto v = a->value("--parity")) {
        const auto p = parseParity(*v);
        if (!p)
            return usage(io, "--parity 只能是 none、odd 或 even");
        parity = *p;
    }
    const auto codeText = a->value("--code");
    if (!codeText)
        return usage(io, "缺少 --code");
    const auto code = link::parseCodeTextStrict(*codeText);
    if (!code)
        return usage(io, "功能码不是十六进制字节: " + *codeText);
    if (code->empty())
        return usage(io, link::msg::kEmptyCode);
    link::Millis wait = link::kDefaultTestSendWait;
    if (const auto v = a->value("--wait")) {
        const auto ms = parseInteger(*v, 0, kMaxWaitMs);
        if (!ms)
            return usage(io, "--wait 需要毫秒数（0 到 600000）");
        wait = link::Millis{*ms};
    }
    const bool json = a->has("--json");

    ErrorLines errors(io.err);
    link::SerialChannel channel(env.makePort(), *env.clock);
    channel.setMessageSink([&errors](const std::string& text) { errors.print(text); });
    const link::TestSendRequest request{*port, {*baud, 8, parity, 1}, *code, wait};
    const std::string sent = link::bytesToCodeText(*code);

    // The wait ends early on the environment's stop flag.
    std::stop_source stopSource;
    std::jthread watcher;
    if (env.stop) {
        watcher = std::jthread([&env, &stopSource](std::stop_token done) {
            while (!done.stop_requested() && !env.stop->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (env.stop->load())
                stopSource.request_stop();
        });
    }
    const link::TestSendResult r = link::testSend(channel, request, stopSource.get_token());
    if (watcher.joinable())
        watcher.request_stop();

    const link::Bytes answer = r.answer();
    if (json) {
        QJsonArray blocks;
        for (const auto& b : r.blocks)
            blocks.append(QJsonObject{
                {QStringLiteral("ms"), static_cast<qint64>(b.at.count())},
                {QStringLiteral("bytes"), QString::fromStdString(link::bytesToCodeText(b.bytes))}});
        QJsonObject o{
            {QStringLiteral("port"), QString::fromStdString(*port)},
            {QStringLiteral("baud"), static_cast<qint64>(*baud)},
            {QStringLiteral("parity"),
             QLatin1String(link::parityName(link::parityFromCode(parity)))},
            {QStringLiteral("sent"), QString::fromStdString(sent)},
            {QStringLiteral("wait_ms"), static_cast<qint64>(wait.count())},
            {QStringLiteral("outcome"), QLatin1String(outcomeName(r.outcome))},
            {QStringLiteral("answered"), r.answered()},
            {QStringLiteral("bytes"), QString::fromStdString(link::bytesToCodeText(answer))},
            {QStringLiteral("text"), QString::fromStdString(link::answerText(answer))},
            {QStringLiteral("blocks"), blocks}};
        if (const auto first = r.firstByte())
            o.insert(QStringLiteral("first_byte_ms"), static_cast<qint64>(first->count()));
        if (!r.message.empty())
            o.insert(QStringLiteral("message"), QString::fromStdString(r.message));
        io.out << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() << '\n';
    } else {
        const bool wentOut = r.outcome == link::TestSendOutcome::Answered ||
                             r.outcome == link::TestSendOutcome::NoAnswer ||
                             r.outcome == link::TestSendOutcome::Stopped;
        if (wentOut)
            io.out << "已发送到 " << *port << "（" << *baud << " 波特，" << parityText(parity)
                   << "）: " << sent << '\n';
        if (!r.blocks.empty()) {
            io.out << "应答（首字节在发送后 " << r.firstByte()->count() << " 毫秒）:\n"
                   << "  十六进制: " << link::bytesToCodeText(answer) << '\n'
                   << "  文本: " << link::answerText(answer) << '\n';
            if (r.blocks.size() > 1) {
                for (const auto& b : r.blocks)
                    io.out << "  " << b.at.count() << " 毫秒: " << link::bytesToCodeText(b.bytes)
                           << '\n';
            }
        }
    }
    errors.print(r.message);
    return r.answered() ? kOk : kFailed;
}

std::span<const CommandInfo> sendCommands() {
    static const CommandInfo table[] = {
        {"send", kSendSynopsis,
         [](const std::vector<std::string>& a, Io& io) {
             return sendCommand(a, io, systemLinkEnv());
         }},
    };
    return table;
}

} // namespace pj::cli

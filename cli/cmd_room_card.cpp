// projector-cli room and card: the room parameters and the ID card number
// into a controller, each kept in the commissioning record.

#include "cli/interrupt.h"
#include "cli/link_support.h"
#include "cli/recording.h"
#include "link/edition.h"
#include "link/messages.h"
#include "link/roomcard.h"

#include <functional>

namespace pj::cli {

using namespace linkcmd;

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
    InterruptScope interrupts(env.stop == nullptr);
    StopRelay stop(env);
    auto channel = makeChannel(env, printer, &stop.clock());
    CliObserver observer(printer, json);
    const auto result =
        link::writeRoomParameters(*channel, shell, p, listenBaud, observer, stop.token());
    recorded.done(result);
    channel->close();
    if (result.outcome == link::SequenceOutcome::Stopped) {
        // The mark and its block always go out together; the stop came after.
        printer.error("房间参数写入已停止：参数已全部发出，未再监听回码");
        return kFailed;
    }
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
    InterruptScope interrupts(env.stop == nullptr);
    StopRelay stop(env);
    auto channel = makeChannel(env, printer, &stop.clock());
    CliObserver observer(printer, json);
    const auto result = link::writeIdCard(*channel, shell, *number, observer, stop.token());
    recorded.done(result);
    channel->close();
    if (result.outcome == link::SequenceOutcome::Stopped) {
        printer.error(number->empty() ? "ID卡号写入已停止：卡号为空，未发送"
                                      : "ID卡号写入已停止：卡号已全部发出，未等到结束");
        return kFailed;
    }
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

} // namespace pj::cli

// projector-cli monitor: what arrives on a port, shown as the receive monitor
// shows it, until Ctrl-C, --seconds or a pulled adapter.

#include "cli/interrupt.h"
#include "cli/link_support.h"
#include "link/edition.h"
#include "link/messages.h"

#include <algorithm>

namespace pj::cli {

using namespace linkcmd;

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

} // namespace pj::cli

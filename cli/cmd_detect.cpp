// projector-cli ports and detect: the serial ports present, and the port a
// controller answers on with its edition.

#include "cli/link_support.h"
#include "link/detection.h"
#include "link/edition.h"

namespace pj::cli {

using namespace linkcmd;

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

} // namespace pj::cli

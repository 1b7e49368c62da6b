#include "cli/link_support.h"

#include "link/edition.h"
#include "link/messages.h"
#include "link/receivedtext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace pj::cli {

namespace linkcmd {

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

std::unique_ptr<link::SerialChannel> makeChannel(const LinkEnv& env, Printer& printer,
                                                 link::Clock* clock) {
    auto channel =
        std::make_unique<link::SerialChannel>(env.makePort(), clock ? *clock : *env.clock);
    channel->setMessageSink([&printer](const std::string& text) { printer.error(text); });
    return channel;
}

} // namespace linkcmd

using namespace linkcmd;

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

} // namespace pj::cli

// ccsim: the classroom controller on a pseudo-terminal.
//
// The first line on standard output is the port path to open; every event then
// follows as one JSON object per line (on standard output, or in --log FILE).
// Standard input takes commands, one per line: "press N" (key slot 0..17),
// "stream [BAUD] [SECONDS]" (send counting bytes without pause, 115200 baud
// by default, until "stream off" or for SECONDS), "unplug", "replug",
// "reset [answer=B] [machine-type=M] [probes=P] [min-gap-ms=N]" (a new
// controller with those settings on the same link, as a Simulator on Windows
// asks for when it starts), "quit".

#include "sim/ccsim_projector.h"
#include "sim/simulator.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> gQuit{false};

void onSignal(int) {
    gQuit = true;
}

const char* kUsage =
    "用法: ccsim [--answer BYTE] [--machine-type 0|1] [--answer-probes all|first|none]\n"
    "            [--link PATH] [--log FILE]\n"
    "       ccsim --projector epson|nec|silent ...（模拟投影机，见 ccsim --projector epson "
    "--help）\n"
    "  --answer BYTE        检测应答字节（如 0x11），决定中控版本和编程波特率；默认 0x11\n"
    "  --machine-type 0|1   0 单机（冒号先发）、1 网络（帧头先发）；默认按应答字节的波特率\n"
    "  --answer-probes      all 应答每次探测（默认），first 每三次只应答第一次，none 不应答\n"
    "  --link PATH          在 PATH 建立指向伪终端的符号链接\n"
    "  --log FILE           事件日志写入 FILE（默认标准输出）\n"
    "标准输入命令: press N（按下键 N，0..17）、stream [BAUD] [SECONDS]（不停地发送递增字节，\n"
    "            默认 115200 波特，直到 stream off 或 SECONDS 秒后）、unplug、replug、quit、\n"
    "            reset [answer=字节] [machine-type=0|1|-1] [probes=all|first|none]\n"
    "                  [min-gap-ms=毫秒]（换一台这样设置的中控，链接不变）\n"
    "注意: Linux 伪终端会清除 PARENB，只能看出奇校验，偶校验与无校验无法区分。\n";

bool parseNumber(const std::string& text, long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

bool parseSeconds(const std::string& text, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

int usageError(const std::string& message) {
    std::cerr << "ccsim: " << message << '\n' << kUsage;
    return 2;
}

std::optional<pj::sim::ProbePolicy> parseProbes(const std::string& v) {
    if (v == "all")
        return pj::sim::ProbePolicy::All;
    if (v == "first")
        return pj::sim::ProbePolicy::First;
    if (v == "none")
        return pj::sim::ProbePolicy::None;
    return std::nullopt;
}

// "reset" words (name=value) applied to `opt`; false with a reason.
bool applyResetWords(std::istringstream& in, pj::sim::SimulatorOptions& opt, std::string& error) {
    std::string word;
    while (in >> word) {
        const auto eq = word.find('=');
        const std::string name = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
        long n = 0;
        if (name == "answer" && parseNumber(value, n) && n >= 0 && n <= 255) {
            opt.answerByte = static_cast<std::uint8_t>(n);
        } else if (name == "machine-type" && parseNumber(value, n) && n >= -1 && n <= 1) {
            opt.machineType = static_cast<int>(n);
        } else if (name == "probes" && parseProbes(value)) {
            opt.probes = *parseProbes(value);
        } else if (name == "min-gap-ms" && parseNumber(value, n) && n >= 0 && n <= 60000) {
            opt.minChunkGap = std::chrono::milliseconds(n);
        } else {
            error = "reset 的参数无效: " + word;
            return false;
        }
    }
    return true;
}

struct Running {
    pj::sim::SimulatorOptions base; // as given on the command line
    std::unique_ptr<pj::sim::Simulator> sim;
    std::ostream* sink = nullptr;
};

void handleCommand(const std::string& line, Running& running) {
    pj::sim::Simulator& sim = *running.sim;
    std::istringstream in(line);
    std::string word;
    if (!(in >> word))
        return;
    if (word == "reset") {
        pj::sim::SimulatorOptions opt = running.base;
        std::string error;
        if (!applyResetWords(in, opt, error)) {
            std::cerr << "ccsim: " << error << '\n';
            return;
        }
        sim.stop();
        auto next = std::make_unique<pj::sim::Simulator>(opt);
        next->log().setSink(running.sink);
        if (!next->start(error)) {
            std::cerr << "ccsim: " << error << '\n';
            // The old settings come back, so that there is still a controller.
            next = std::make_unique<pj::sim::Simulator>(running.base);
            next->log().setSink(running.sink);
            if (!next->start(error))
                std::cerr << "ccsim: " << error << '\n';
        }
        running.sim = std::move(next);
    } else if (word == "press") {
        std::string n;
        long key = 0;
        if (!(in >> n) || !parseNumber(n, key) || key < 0 || key > 255) {
            std::cerr << "ccsim: 用法 press N（N 为键号 0..17）\n";
            return;
        }
        sim.press(static_cast<int>(key));
    } else if (word == "stream") {
        std::string first;
        in >> first;
        if (first == "off" || first == "stop") {
            sim.stopStream();
            return;
        }
        pj::sim::StreamOptions options;
        long baud = 115200;
        double seconds = 0; // fractions too (0.2), as the Windows Simulator asks
        std::string second;
        in >> second;
        if ((!first.empty() && (!parseNumber(first, baud) || baud <= 0)) ||
            (!second.empty() &&
             (!parseSeconds(second, seconds) || seconds < 0 || seconds > 86400))) {
            std::cerr << "ccsim: 用法 stream [BAUD] [SECONDS]（BAUD 大于 0，SECONDS 0..86400）或 "
                         "stream off\n";
            return;
        }
        options.baud = static_cast<std::uint32_t>(baud);
        options.duration = std::chrono::milliseconds(std::llround(seconds * 1000));
        std::string error;
        if (!sim.startStream(options, error))
            std::cerr << "ccsim: " << error << '\n';
    } else if (word == "unplug") {
        sim.unplug();
    } else if (word == "replug") {
        std::string error;
        if (!sim.replug(error))
            std::cerr << "ccsim: " << error << '\n';
    } else if (word == "quit" || word == "exit") {
        gQuit = true;
    } else {
        std::cerr << "ccsim: 未知命令 " << word
                  << "（可用: press N, stream [BAUD] [SECONDS], stream off, unplug, replug, "
                     "reset, quit）\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    pj::sim::SimulatorOptions opt;
    std::string logFile;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (pj::sim::wantsProjectorMode(args))
        return pj::sim::runProjectorMode(args);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--answer") {
            long n = 0;
            if (!value(v) || !parseNumber(v, n) || n < 0 || n > 255)
                return usageError("--answer 需要一个字节值，如 0x11");
            opt.answerByte = static_cast<std::uint8_t>(n);
        } else if (a == "--machine-type") {
            long n = 0;
            if (!value(v) || !parseNumber(v, n) || (n != 0 && n != 1))
                return usageError("--machine-type 只能是 0 或 1");
            opt.machineType = static_cast<int>(n);
        } else if (a == "--answer-probes") {
            if (!value(v))
                return usageError("--answer-probes 需要 all、first 或 none");
            const auto probes = parseProbes(v);
            if (!probes)
                return usageError("--answer-probes 只能是 all、first 或 none");
            opt.probes = *probes;
        } else if (a == "--link") {
            if (!value(opt.linkPath) || opt.linkPath.empty())
                return usageError("--link 需要一个路径");
        } else if (a == "--log") {
            if (!value(logFile) || logFile.empty())
                return usageError("--log 需要一个文件名");
        } else {
            return usageError("未知选项 " + a);
        }
    }

    std::ofstream logStream;
    if (!logFile.empty()) {
        logStream.open(logFile, std::ios::out | std::ios::app);
        if (!logStream) {
            std::cerr << "ccsim: 无法写入日志文件 " << logFile << '\n';
            return 1;
        }
    }
    // The port path goes out before the first event.
    Running running{opt, std::make_unique<pj::sim::Simulator>(opt), nullptr};
    std::string error;
    if (!running.sim->start(error)) {
        std::cerr << "ccsim: " << error << '\n';
        return 1;
    }
    std::cout << running.sim->portPath() << std::endl;
    running.sink = logFile.empty() ? &std::cout : static_cast<std::ostream*>(&logStream);
    running.sim->log().setSink(running.sink, true);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    bool stdinOpen = true;
    std::string pending;
    while (!gQuit) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int r = ::poll(&p, stdinOpen ? 1 : 0, 200);
        if (r <= 0 || !(p.revents & (POLLIN | POLLHUP)))
            continue;
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            stdinOpen = false; // keep serving until a signal or "quit"
            continue;
        }
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            handleCommand(pending.substr(0, nl), running);
            pending.erase(0, nl + 1);
        }
    }
    running.sim->stop();
    return 0;
}

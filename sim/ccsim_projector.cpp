// ccsim's projector mode: a projector of one family on a pseudo-terminal. The
// first line on standard output is the port path; every event follows as one
// JSON object per line (or in --log FILE). Standard input takes "quit".

#include "sim/ccsim_projector.h"
#include "sim/projectorsim.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <unistd.h>

namespace pj::sim {

namespace {

std::atomic<bool> gQuit{false};

void onSignal(int) {
    gQuit = true;
}

const char* kUsage =
    "用法: ccsim --projector epson|nec|silent [--baud N] [--on] [--reply-delay MS]\n"
    "            [--link PATH] [--log FILE]\n"
    "  --projector FAMILY   模拟投影机：epson（ESC/VP21，回答 \":\"）、nec（二进制应答帧）、\n"
    "                       silent（从不回答）\n"
    "  --baud N             投影机的波特率；默认 epson 9600、nec 38400、silent 9600\n"
    "  --on                 开机状态启动（默认待机）\n"
    "  --reply-delay MS     每次回答前等待的毫秒数；默认 0\n"
    "  --link PATH          在 PATH 建立指向伪终端的符号链接\n"
    "  --log FILE           事件日志写入 FILE（默认标准输出）\n"
    "标准输入命令: quit\n";

int usageError(const std::string& message) {
    std::cerr << "ccsim: " << message << '\n' << kUsage;
    return 2;
}

bool parseNumber(const std::string& text, long max, long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0' && value >= 0 && value <= max;
}

} // namespace

bool wantsProjectorMode(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--projector")
            return true;
    }
    return false;
}

int runProjectorMode(const std::vector<std::string>& args) {
    ProjectorSimulatorOptions opt;
    std::string logFile;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--projector") {
            const auto family = value(v) ? projectorFamilyFromName(v) : std::nullopt;
            if (!family)
                return usageError("--projector 只能是 epson、nec 或 silent");
            opt.projector.family = *family;
        } else if (a == "--baud") {
            if (!value(v) || !parseNumber(v, 4000000, n) || n == 0)
                return usageError("--baud 需要一个正整数");
            opt.projector.baud = static_cast<std::uint32_t>(n);
        } else if (a == "--on") {
            opt.projector.startOn = true;
        } else if (a == "--reply-delay") {
            if (!value(v) || !parseNumber(v, 60000, n))
                return usageError("--reply-delay 需要毫秒数（0 到 60000）");
            opt.projector.replyDelay = std::chrono::milliseconds(n);
        } else if (a == "--link") {
            if (!value(opt.linkPath) || opt.linkPath.empty())
                return usageError("--link 需要一个路径");
        } else if (a == "--log") {
            if (!value(logFile) || logFile.empty())
                return usageError("--log 需要一个文件名");
        } else {
            return usageError("未知选项 " + a + "（投影机模式）");
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
    ProjectorSimulator sim(opt);
    std::string error;
    if (!sim.start(error)) {
        std::cerr << "ccsim: " << error << '\n';
        return 1;
    }
    std::cout << sim.portPath() << std::endl;
    std::ostream& sink = logFile.empty() ? std::cout : static_cast<std::ostream&>(logStream);
    sim.log().setSink(&sink, true);

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
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (line == "quit" || line == "exit")
                gQuit = true;
            else if (!line.empty())
                std::cerr << "ccsim: 未知命令 " << line << "（投影机模式只有 quit）\n";
        }
    }
    sim.stop();
    return 0;
}

} // namespace pj::sim

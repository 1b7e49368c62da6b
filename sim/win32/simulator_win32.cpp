// The Simulator on Windows. The controller lives on a pseudo-terminal, which
// Windows does not have; under Wine a ccsim runs on the Linux side instead,
// its pty mapped as a COM port of the Wine prefix. This Simulator drives it:
//
//   PJ_CCSIM_PORT      the COM port Wine maps onto ccsim's pty ("COM7")
//   PJ_CCSIM_COMMANDS  the file ccsim takes its commands from (appended to)
//   PJ_CCSIM_EVENTS    ccsim's event log (--log), one JSON object per line
//
// start() asks ccsim for a fresh controller with this Simulator's options
// ("reset answer=…"), and a thread of its own follows the event log into
// log(); press, unplug, replug and the stream mode are ccsim's panel commands;
// the stored keys, room blocks, cards and stream counts are read from the
// events. Without the three variables (a Windows machine without Wine) the
// simulator cannot start, and says so.
// The CTest fixture of the Windows build (tests/windows) sets all this up.

#include "sim/simulator.h"

#include "link/win32/winapi.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace pj::sim {

namespace {

constexpr auto kAnswerWait = std::chrono::seconds(10);
constexpr auto kCommandWait = std::chrono::seconds(5);

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// A path from the environment (UTF-8) for the wide file functions.
std::wstring widePath(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

Bytes parseHex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        out.push_back(
            static_cast<std::uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

std::uint8_t parityCode(const std::string& name) {
    return name == "odd" ? 1 : name == "even" ? 2 : 0;
}

const char* probesWord(ProbePolicy p) {
    switch (p) {
    case ProbePolicy::First:
        return "first";
    case ProbePolicy::None:
        return "none";
    case ProbePolicy::All:
        break;
    }
    return "all";
}

} // namespace

struct Simulator::Remote {
    std::string port;
    std::string commands;
    std::string events;
    std::uint64_t offset = 0; // where the events of this controller begin
    bool plugged = true;      // unplugged by "unplug", back by "replug"
    LineSettings line{false, 0, false};
    std::map<int, StoredKey> keys;
    std::vector<RoomBlock> rooms;
    std::vector<IdCard> cards;
    StreamStats stream; // as the "stream" and "stream_end" events tell it

    bool send(const std::string& command) const {
        HANDLE f = CreateFileW(widePath(commands).c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return false;
        const std::string text = command + '\n';
        DWORD written = 0;
        const bool ok =
            WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
        CloseHandle(f);
        return ok;
    }

    // What the controller has, as the event tells it.
    void take(const Event& e) {
        const std::string& k = e.kind();
        if (k == "frame") {
            StoredKey key;
            key.code = parseHex(e.text("code").value_or(""));
            key.reload = static_cast<std::uint8_t>(e.number("reload").value_or(0));
            key.parity = parityCode(e.text("parity").value_or("none"));
            key.visualizer = static_cast<std::uint8_t>(e.number("visualizer").value_or(0));
            key.projectorBaud = static_cast<std::uint32_t>(e.number("projector_baud").value_or(0));
            keys[static_cast<int>(e.number("key").value_or(-1))] = std::move(key);
        } else if (k == "room") {
            RoomBlock block;
            const Bytes b = parseHex(e.text("bytes").value_or(""));
            std::copy_n(b.begin(), std::min(b.size(), block.bytes.size()), block.bytes.begin());
            block.gapMs = e.number("gap_ms").value_or(0);
            rooms.push_back(block);
        } else if (k == "card") {
            cards.push_back(IdCard{parseHex(e.text("bytes").value_or(""))});
        } else if (k == "line") {
            line.clientOpen = true;
            line.baud = static_cast<std::uint32_t>(e.number("baud").value_or(0));
            line.parityOdd = e.flag("parity_odd").value_or(false);
        } else if (k == "hangup") {
            line.clientOpen = false;
        } else if (k == "stream") {
            stream = StreamStats{};
            stream.running = true;
            stream.baud = static_cast<std::uint32_t>(e.number("baud").value_or(0));
        } else if (k == "stream_end") {
            stream.running = false;
            stream.baud = static_cast<std::uint32_t>(e.number("baud").value_or(0));
            stream.sent = static_cast<std::uint64_t>(e.number("sent").value_or(0));
            stream.garbled = static_cast<std::uint64_t>(e.number("garbled").value_or(0));
            stream.overflow = static_cast<std::uint64_t>(e.number("overflow").value_or(0));
            stream.unheard = static_cast<std::uint64_t>(e.number("unheard").value_or(0));
            stream.ms = e.number("ms").value_or(0);
        } else if (k == "unplug") {
            plugged = false;
        } else if (k == "replug") {
            plugged = true;
        }
    }
};

Simulator::Simulator(SimulatorOptions options)
    : options_(std::move(options)) {
    log_.setSink(options_.log);
}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start(std::string& error) {
    if (started_) {
        error = "模拟器已在运行";
        return false;
    }
    auto cfg = configForAnswer(options_.answerByte, options_.machineType, error);
    if (!cfg)
        return false;
    auto remote = std::make_unique<Remote>();
    remote->port = environment("PJ_CCSIM_PORT");
    remote->commands = environment("PJ_CCSIM_COMMANDS");
    remote->events = environment("PJ_CCSIM_EVENTS");
    if (remote->port.empty() || remote->commands.empty() || remote->events.empty()) {
        error = "模拟中控需要伪终端，Windows 上没有；请在 Linux 上运行 ccsim，在 Wine 中把它的"
                "伪终端映射为 COM 串口，并设置 PJ_CCSIM_PORT、PJ_CCSIM_COMMANDS 和 "
                "PJ_CCSIM_EVENTS（见 docs/windows.md）";
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA info{};
    const std::wstring events = widePath(remote->events);
    if (GetFileAttributesExW(events.c_str(), GetFileExInfoStandard, &info))
        remote->offset = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    cfg->probes = options_.probes;
    cfg->minChunkGap = options_.minChunkGap;
    char answer[8];
    std::snprintf(answer, sizeof answer, "0x%02x", options_.answerByte);
    const std::string reset = std::string("reset answer=") + answer +
                              " machine-type=" + std::to_string(options_.machineType) +
                              " probes=" + probesWord(options_.probes) +
                              " min-gap-ms=" + std::to_string(options_.minChunkGap.count());
    if (!remote->send(reset)) {
        error = "无法写入 ccsim 的命令文件 " + remote->commands;
        return false;
    }
    {
        std::lock_guard lock(mu_);
        remote_ = std::move(remote);
        config_ = *cfg;
    }
    stopping_ = false;
    started_ = true;
    thread_ = std::thread([this] { run(); });
    const auto ready = log_.waitFor("ready", kAnswerWait);
    if (!ready || ready->text("answer") != std::string(answer)) {
        error =
            ready ? "ccsim 的应答字节是 " + ready->text("answer").value_or("?") + "，不是 " + answer
                  : "ccsim 没有应答（" + remote_->commands + "）";
        stop();
        return false;
    }
    return true;
}

void Simulator::stop() {
    if (!started_)
        return;
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    started_ = false;
}

// Follows ccsim's event log from this controller's start. Read at explicit
// offsets: the C runtime's streams do not see what another process appends
// after they have met the end of the file.
void Simulator::run() {
    HANDLE file = INVALID_HANDLE_VALUE;
    const std::wstring path = widePath(remote_->events);
    std::uint64_t offset = static_cast<std::uint64_t>(remote_->offset);
    std::string pending;
    while (!stopping_) {
        if (file == INVALID_HANDLE_VALUE)
            file = CreateFileW(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        bool got = false;
        if (file != INVALID_HANDLE_VALUE) {
            char buf[4096];
            DWORD n = 0;
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            if (ReadFile(file, buf, sizeof buf, &n, &at) && n > 0) {
                pending.append(buf, n);
                offset += n;
                got = true;
            }
        }
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            if (auto e = Event::fromJson(std::string_view(pending).substr(0, nl))) {
                {
                    std::lock_guard lock(mu_);
                    remote_->take(*e);
                }
                log_.append(std::move(*e));
            }
            pending.erase(0, nl + 1);
        }
        if (!got)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

std::string Simulator::portPath() const {
    std::lock_guard lock(mu_);
    return remote_ ? remote_->port : environment("PJ_CCSIM_PORT");
}

std::string Simulator::slavePath() const {
    return portPath();
}

bool Simulator::plugged() const {
    std::lock_guard lock(mu_);
    return remote_ && started_ && remote_->plugged;
}

void Simulator::unplug() {
    if (!started_)
        return;
    const std::size_t from = log_.size();
    remote_->send("unplug");
    log_.waitFor("unplug", kCommandWait, from);
}

bool Simulator::replug(std::string& error) {
    if (!started_) {
        error = "模拟器没有运行";
        return false;
    }
    const std::size_t from = log_.size();
    remote_->send("replug");
    if (!log_.waitFor("replug", kCommandWait, from)) {
        error = "ccsim 没有重新插上串口";
        return false;
    }
    return true;
}

LineSettings Simulator::line() const {
    std::lock_guard lock(mu_);
    return remote_ ? remote_->line : LineSettings{false, 0, false};
}

Bytes Simulator::press(int key) {
    if (!started_)
        return {};
    const std::size_t from = log_.size();
    remote_->send("press " + std::to_string(key));
    std::size_t at = 0;
    const auto pressed = log_.waitFor(
        [key](const Event& e) { return e.kind() == "press" && e.number("key") == key; },
        kCommandWait, from, &at);
    if (!pressed || !pressed->flag("stored").value_or(false) ||
        !pressed->flag("listening").value_or(false))
        return {};
    const auto echo =
        log_.waitFor([key](const Event& e) { return e.kind() == "echo" && e.number("key") == key; },
                     kCommandWait, at + 1);
    return echo ? parseHex(echo->text("bytes").value_or("")) : Bytes{};
}

// Stream mode runs in ccsim; its counts arrive with "stream_end".
bool Simulator::startStream(const StreamOptions& options, std::string& error) {
    if (options.baud == 0) {
        error = "流模式的波特率必须大于 0";
        return false;
    }
    if (!started_) {
        error = "模拟器没有运行";
        return false;
    }
    stopStream();
    const std::size_t from = log_.size();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", options.duration.count() / 1000.0);
    remote_->send("stream " + std::to_string(options.baud) + " " + seconds);
    if (!log_.waitFor("stream", kCommandWait, from)) {
        error = "ccsim 没有开始发送";
        return false;
    }
    return true;
}

void Simulator::stopStream() {
    if (!started_ || !streamStats().running)
        return;
    const std::size_t from = log_.size();
    remote_->send("stream off");
    log_.waitFor("stream_end", kCommandWait, from);
}

StreamStats Simulator::streamStats() const {
    std::lock_guard lock(mu_);
    return remote_ ? remote_->stream : StreamStats{};
}

std::optional<StoredKey> Simulator::storedKey(int key) const {
    std::lock_guard lock(mu_);
    if (!remote_)
        return std::nullopt;
    const auto it = remote_->keys.find(key);
    if (it == remote_->keys.end())
        return std::nullopt;
    return it->second;
}

std::vector<RoomBlock> Simulator::roomBlocks() const {
    std::lock_guard lock(mu_);
    return remote_ ? remote_->rooms : std::vector<RoomBlock>{};
}

std::vector<IdCard> Simulator::cards() const {
    std::lock_guard lock(mu_);
    return remote_ ? remote_->cards : std::vector<IdCard>{};
}

} // namespace pj::sim

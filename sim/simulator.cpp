#include "sim/simulator.h"

#include "link/posix/linespeed.h"
#include "sim/pty.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace pj::sim {

namespace {

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

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
    cfg->probes = options_.probes;
    cfg->minChunkGap = options_.minChunkGap;
    config_ = *cfg;
    core_ = std::make_unique<ControllerCore>(config_);
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = errnoText("pipe");
        return false;
    }
    {
        std::lock_guard lock(mu_);
        if (!openPtyLocked(error)) {
            ::close(wake_[0]);
            ::close(wake_[1]);
            wake_[0] = wake_[1] = -1;
            return false;
        }
    }
    stopping_ = false;
    started_ = true;
    thread_ = std::thread([this] { run(); });
    const auto* ed = pj::link::findEdition(config_.editionCode);
    Event e("ready");
    char answer[8];
    std::snprintf(answer, sizeof answer, "0x%02x", config_.answerByte);
    e.add("port", portPath())
        .add("slave", slavePath())
        .add("answer", answer)
        .add("edition", config_.editionCode)
        .add("label", ed ? ed->label : "")
        .add("baud", config_.programmingBaud)
        .add("machine_type", config_.machineType)
        .add("chunking",
             config_.chunking == pj::link::Chunking::ColonFirst ? "colon-first" : "header-first");
    log_.append(std::move(e));
    return true;
}

void Simulator::stop() {
    if (!started_)
        return;
    stopStream();
    stopping_ = true;
    wake();
    if (thread_.joinable())
        thread_.join();
    {
        std::lock_guard lock(mu_);
        closePtyLocked();
    }
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    started_ = false;
}

bool Simulator::openPtyLocked(std::string& error) {
    const SimulatorPty pty = openSimulatorPty(options_.linkPath, error);
    if (pty.master < 0)
        return false;
    master_ = pty.master;
    slavePath_ = pty.slavePath;
    clientSeen_ = false;
    hungUp_ = false;
    ++generation_;
    return true;
}

void Simulator::closePtyLocked() {
    if (master_ < 0)
        return;
    SimulatorPty pty{master_, slavePath_};
    closeSimulatorPty(pty, options_.linkPath);
    master_ = -1;
    ++generation_;
}

void Simulator::wake() {
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] auto r = ::write(wake_[1], &c, 1);
    }
}

std::string Simulator::portPath() const {
    if (!options_.linkPath.empty())
        return options_.linkPath;
    return slavePath();
}

std::string Simulator::slavePath() const {
    std::lock_guard lock(mu_);
    return slavePath_;
}

bool Simulator::plugged() const {
    std::lock_guard lock(mu_);
    return master_ >= 0;
}

void Simulator::unplug() {
    unsigned pass;
    {
        std::lock_guard lock(mu_);
        if (master_ < 0)
            return;
        closePtyLocked();
        pass = passes_;
    }
    wake();
    waitForPass(pass);
    log_.append(Event("unplug"));
}

void Simulator::waitForPass(unsigned pass) {
    // While the I/O thread sits in poll() on the master it holds the closed
    // master open, and the client sees no hang-up until that call returns.
    if (!thread_.joinable() || std::this_thread::get_id() == thread_.get_id())
        return;
    std::unique_lock lock(mu_);
    passed_.wait_for(lock, std::chrono::seconds(1), [&] { return passes_ != pass || stopping_; });
}

bool Simulator::replug(std::string& error) {
    {
        std::lock_guard lock(mu_);
        closePtyLocked();
        if (!openPtyLocked(error))
            return false;
    }
    wake();
    Event e("replug");
    e.add("port", portPath()).add("slave", slavePath());
    log_.append(std::move(e));
    return true;
}

LineSettings Simulator::lineLocked() const {
    LineSettings line;
    line.clientOpen = false;
    if (master_ < 0)
        return line;
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
        // Any speed the client set, also one without a B constant (14400).
        line.baud = pj::link::posix::lineSpeed(master_);
        line.parityOdd = (t.c_cflag & PARODD) != 0;
    }
    pollfd p{master_, 0, 0};
    ::poll(&p, 1, 0);
    line.clientOpen = clientSeen_ && !(p.revents & POLLHUP);
    return line;
}

LineSettings Simulator::line() const {
    std::lock_guard lock(mu_);
    return lineLocked();
}

void Simulator::writeToClientLocked(const Bytes& bytes) {
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break; // the client's input queue is full or gone: the rest is lost
        }
    }
}

Bytes Simulator::press(int key) {
    std::vector<Event> events;
    Bytes out;
    {
        std::lock_guard lock(mu_);
        if (!core_)
            return {};
        const LineSettings line = lineLocked();
        out = core_->press(key, line, std::chrono::steady_clock::now(), events);
        writeToClientLocked(out);
    }
    publish(events);
    return out;
}

std::optional<StoredKey> Simulator::storedKey(int key) const {
    std::lock_guard lock(mu_);
    if (!core_)
        return std::nullopt;
    const auto it = core_->keys().find(key);
    if (it == core_->keys().end())
        return std::nullopt;
    return it->second;
}

std::vector<RoomBlock> Simulator::roomBlocks() const {
    std::lock_guard lock(mu_);
    return core_ ? core_->roomBlocks() : std::vector<RoomBlock>{};
}

std::vector<IdCard> Simulator::cards() const {
    std::lock_guard lock(mu_);
    return core_ ? core_->cards() : std::vector<IdCard>{};
}

void Simulator::publish(std::vector<Event>& events) {
    for (auto& e : events)
        log_.append(std::move(e));
    events.clear();
}

void Simulator::run() {
    using namespace std::chrono;
    std::vector<Event> events;
    std::uint8_t buf[4096];
    while (!stopping_) {
        int fd;
        unsigned gen;
        bool hungUp;
        int timeoutMs = 1000;
        {
            std::lock_guard lock(mu_);
            fd = master_;
            gen = generation_;
            hungUp = hungUp_;
            if (const auto deadline = core_->nextDeadline()) {
                const auto left = duration_cast<milliseconds>(*deadline - steady_clock::now());
                timeoutMs = static_cast<int>(std::max<long long>(0, left.count() + 1));
            }
        }
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        // While nobody holds the port the master reports a hang-up at once:
        // look again every 2 ms instead of spinning.
        const nfds_t count = (fd >= 0 && !hungUp) ? 2 : 1;
        if (count == 1 && fd >= 0)
            timeoutMs = std::min(timeoutMs, 2);
        const int r = ::poll(fds, count, timeoutMs);
        if (r < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        std::lock_guard lock(mu_);
        ++passes_;
        passed_.notify_all();
        if (gen != generation_ || master_ < 0) {
            continue;
        }
        if (count == 1) {
            // Hung up: has the client come back?
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, 0);
            if (!(p.revents & POLLHUP) || (p.revents & POLLIN))
                hungUp_ = false;
        } else if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            const auto at = steady_clock::now();
            if (n > 0) {
                clientSeen_ = true;
                if (buf[0] == TIOCPKT_DATA) {
                    if (n > 1) {
                        const std::span<const std::uint8_t> data(buf + 1,
                                                                 static_cast<std::size_t>(n - 1));
                        const LineSettings line = lineLocked();
                        Event rx("rx", at);
                        rx.addHex("bytes", data).add("baud", line.baud);
                        events.push_back(std::move(rx));
                        const Bytes reply = core_->receive(data, at, line, events);
                        writeToClientLocked(reply);
                    }
                } else if (buf[0] & TIOCPKT_IOCTL) {
                    const LineSettings line = lineLocked();
                    Event e("line", at);
                    e.add("baud", line.baud).add("parity_odd", line.parityOdd);
                    events.push_back(std::move(e));
                }
            } else if (n < 0 && errno == EIO) {
                hungUp_ = true;
                events.emplace_back("hangup", at);
            }
        }
        core_->expire(steady_clock::now(), events);
        publish(events);
    }
}

} // namespace pj::sim

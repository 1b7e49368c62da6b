#include "sim/projectorsim.h"

#include "link/posix/linespeed.h"
#include "sim/pty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace pj::sim {

namespace {

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

ProjectorSimulator::ProjectorSimulator(ProjectorSimulatorOptions options)
    : options_(std::move(options)) {
    log_.setSink(options_.log);
}

ProjectorSimulator::~ProjectorSimulator() {
    stop();
}

bool ProjectorSimulator::start(std::string& error) {
    if (started_) {
        error = "模拟投影机已在运行";
        return false;
    }
    SimulatorPty pty = openSimulatorPty(options_.linkPath, error);
    if (pty.master < 0)
        return false;
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = errnoText("pipe");
        closeSimulatorPty(pty, options_.linkPath);
        return false;
    }
    {
        std::lock_guard lock(mu_);
        master_ = pty.master;
        slavePath_ = pty.slavePath;
        core_ = std::make_unique<ProjectorCore>(options_.projector);
    }
    Event e("ready");
    e.add("mode", "projector")
        .add("family", projectorFamilyName(options_.projector.family))
        .add("baud", baud())
        .add("port", portPath())
        .add("slave", slavePath())
        .add("on", options_.projector.startOn)
        .add("reply_delay_ms", static_cast<long long>(options_.projector.replyDelay.count()));
    log_.append(std::move(e));
    stopping_ = false;
    started_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void ProjectorSimulator::stop() {
    if (!started_)
        return;
    stopping_ = true;
    wake();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(mu_);
    SimulatorPty pty{master_, slavePath_};
    closeSimulatorPty(pty, options_.linkPath);
    master_ = -1;
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    started_ = false;
}

std::string ProjectorSimulator::portPath() const {
    return options_.linkPath.empty() ? slavePath() : options_.linkPath;
}

std::string ProjectorSimulator::slavePath() const {
    std::lock_guard lock(mu_);
    return slavePath_;
}

std::uint32_t ProjectorSimulator::baud() const {
    std::lock_guard lock(mu_);
    return core_ ? core_->baud() : 0;
}

bool ProjectorSimulator::poweredOn() const {
    std::lock_guard lock(mu_);
    return core_ && core_->poweredOn();
}

std::size_t ProjectorSimulator::commandsDone() const {
    std::lock_guard lock(mu_);
    return core_ ? core_->commandsDone() : 0;
}

void ProjectorSimulator::wake() {
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] auto r = ::write(wake_[1], &c, 1);
    }
}

LineSettings ProjectorSimulator::lineLocked() const {
    LineSettings line;
    termios t{};
    if (master_ >= 0 && ::tcgetattr(master_, &t) == 0) {
        line.baud = pj::link::posix::lineSpeed(master_); // any speed, 14400 too
        line.parityOdd = (t.c_cflag & PARODD) != 0;
    }
    line.clientOpen = clientSeen_ && !hungUp_;
    return line;
}

void ProjectorSimulator::writeLocked(const Bytes& bytes) {
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // the client's input queue is full or gone: the rest is lost
    }
}

void ProjectorSimulator::run() {
    using namespace std::chrono;
    std::vector<Event> events;
    std::uint8_t buf[4096];
    while (!stopping_) {
        int timeoutMs = 1000;
        bool hungUp;
        {
            std::lock_guard lock(mu_);
            hungUp = hungUp_;
            std::optional<SteadyTime> next = core_->nextDeadline();
            if (!pending_.empty() && (!next || pending_.front().due < *next))
                next = pending_.front().due;
            if (next) {
                const auto left = duration_cast<milliseconds>(*next - steady_clock::now());
                timeoutMs = static_cast<int>(std::max<long long>(0, left.count() + 1));
            }
        }
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}};
        // While nobody holds the port the master reports a hang-up at once:
        // look again every 2 ms instead of spinning.
        const nfds_t count = hungUp ? 1 : 2;
        if (hungUp)
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
        const auto now = steady_clock::now();
        if (hungUp) {
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, 0);
            if (!(p.revents & POLLHUP) || (p.revents & POLLIN))
                hungUp_ = false;
        } else if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0 && buf[0] == TIOCPKT_DATA && n > 1) {
                clientSeen_ = true;
                const std::span<const std::uint8_t> data(buf + 1, static_cast<std::size_t>(n - 1));
                const LineSettings line = lineLocked();
                Event rx("rx", now);
                rx.addHex("bytes", data).add("baud", line.baud);
                events.push_back(std::move(rx));
                Bytes reply = core_->receive(data, now, line, events);
                if (!reply.empty())
                    pending_.push_back({now + options_.projector.replyDelay, std::move(reply)});
            } else if (n > 0 && (buf[0] & TIOCPKT_IOCTL)) {
                clientSeen_ = true;
                Event e("line", now);
                e.add("baud", lineLocked().baud);
                events.push_back(std::move(e));
            } else if (n < 0 && errno == EIO) {
                hungUp_ = true;
                pending_.clear(); // nobody is there to hear it
                if (clientSeen_)
                    events.emplace_back("hangup", now);
            }
        }
        while (!pending_.empty() && pending_.front().due <= steady_clock::now()) {
            writeLocked(pending_.front().bytes);
            Event e("sent");
            e.addHex("bytes", pending_.front().bytes);
            events.push_back(std::move(e));
            pending_.pop_front();
        }
        core_->expire(steady_clock::now(), events);
        for (auto& e : events)
            log_.append(std::move(e));
        events.clear();
    }
}

} // namespace pj::sim

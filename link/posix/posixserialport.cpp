#include "link/posix/posixserialport.h"

#include "link/posix/linespeed.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pj::link {

namespace {

template <typename F> auto retryEintr(F f) {
    for (;;) {
        auto r = f();
        if (r != -1 || errno != EINTR)
            return r;
    }
}

bool isDeviceGone(int err) {
    return err == EIO || err == ENXIO || err == ENODEV || err == EBADF;
}

// Why open() refused the device.
PortOpenStatus openFailure(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return PortOpenStatus::PermissionDenied;
    case EBUSY: // another process set TIOCEXCL
        return PortOpenStatus::Busy;
    default:
        return PortOpenStatus::Unavailable;
    }
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void drainPipe(int fd) {
    char buf[64];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

} // namespace

PosixSerialPort::~PosixSerialPort() {
    close();
}

void PosixSerialPort::setError(const char* what, int err) {
    std::lock_guard lock(errorMutex_);
    lastError_ = std::string(what) + ": " + std::strerror(err);
}

std::string PosixSerialPort::lastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

speed_t PosixSerialPort::speedConstant(std::uint32_t baud) {
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
#ifdef B460800
    case 460800:
        return B460800;
#endif
#ifdef B921600
    case 921600:
        return B921600;
#endif
    default:
        return 0;
    }
}

PortOpenStatus PosixSerialPort::open(const std::string& name, const LineSettings& settings) {
    close();
    const int fd = retryEintr(
        [&] { return ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
        const int err = errno;
        setError("open", err);
        return openFailure(err);
    }
    if (!isatty(fd)) {
        setError("not a terminal", ENOTTY);
        ::close(fd);
        return PortOpenStatus::Unavailable;
    }
    // Another process holding the port (TIOCEXCL does not stop a privileged
    // opener, the advisory lock does for every cooperating program).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        setError("flock", errno);
        ::close(fd);
        return PortOpenStatus::Busy;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        setError("tcgetattr", errno);
        ::close(fd);
        return PortOpenStatus::SettingsUnreadable;
    }
    const termios original = tio;

    AppliedSettings a;
    const speed_t speed = speedConstant(settings.baud);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (settings.dataBits) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= CS8;
        break;
    }
    a.dataBits = settings.dataBits >= 5 && settings.dataBits <= 7 ? settings.dataBits : 8;
    a.parity = parityFromCode(settings.parityCode);
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
    if (a.parity != Parity::None) {
        tio.c_cflag |= PARENB;
        if (a.parity == Parity::Odd)
            tio.c_cflag |= PARODD;
    }
    // Input parity checking stays on whatever the parity; without PARENB the
    // line has no parity bit to check.
    tio.c_iflag |= INPCK;
    a.parityChecking = true;
    if (settings.stopCode == 1) {
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        a.stopBits = 1;
    } else if (settings.stopCode == 2) {
        tio.c_cflag |= CSTOPB;
        a.stopBits = 2;
    } else {
        a.stopBits = 0;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    a.baud = settings.baud;
    // A speed without a B constant is set by number once the rest is applied
    // (38400 stands in until then). Speed 0 would hang the line up.
    const bool byNumber = speed == 0 && settings.baud != 0;
    const speed_t first = byNumber ? B38400 : speed;
    bool ok = first != 0 && ::cfsetispeed(&tio, first) == 0 && ::cfsetospeed(&tio, first) == 0;
    if (ok && retryEintr([&] { return ::tcsetattr(fd, TCSANOW, &tio); }) != 0) {
        setError("tcsetattr", errno);
        ok = false;
    } else if (!ok) {
        setError("speed", EINVAL);
    }
    if (ok && byNumber) {
        if (const int err = posix::setSpeedByNumber(fd, settings.baud); err != 0) {
            setError("speed", err);
            ok = false;
        }
    }
    if (!ok) {
        ::tcsetattr(fd, TCSANOW, &original);
        ::close(fd);
        return PortOpenStatus::SettingsRefused;
    }
    ::ioctl(fd, TIOCEXCL);
    // DTR and RTS off; a pseudo-terminal has no modem lines, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        setError("pipe", errno);
        ::tcsetattr(fd, TCSANOW, &original);
        ::close(fd);
        return PortOpenStatus::Unavailable;
    }
    for (int p : pipeFds) {
        ::fcntl(p, F_SETFL, ::fcntl(p, F_GETFL) | O_NONBLOCK);
        ::fcntl(p, F_SETFD, FD_CLOEXEC);
    }
    fd_ = fd;
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    original_ = original;
    haveOriginal_ = true;
    applied_ = a;
    ::tcflush(fd_, TCIOFLUSH);
    return PortOpenStatus::Ok;
}

bool PosixSerialPort::isOpen() const {
    return fd_ >= 0;
}

void PosixSerialPort::close() {
    if (fd_ >= 0) {
        if (haveOriginal_)
            ::tcsetattr(fd_, TCSANOW, &original_); // fails harmlessly on a lost device
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        closeFd(fd_);
    }
    closeFd(wakeRead_);
    closeFd(wakeWrite_);
    haveOriginal_ = false;
    applied_.reset();
}

IoResult PosixSerialPort::write(std::span<const std::uint8_t> bytes, Millis limit) {
    if (fd_ < 0)
        return {IoStatus::NotOpen, 0};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            const int err = errno;
            setError("write", err);
            return {isDeviceGone(err) ? IoStatus::DeviceLost : IoStatus::Failed, done};
        }
        const int left = remainingMs(deadline);
        if (left <= 0)
            return {IoStatus::TimedOut, done};
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, left);
        if (r < 0 && errno != EINTR) {
            setError("poll", errno);
            return {IoStatus::Failed, done};
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLOUT)) {
            setError("write", EIO);
            return {IoStatus::DeviceLost, done};
        }
    }
    return {IoStatus::Ok, done};
}

IoStatus PosixSerialPort::waitReadable(Millis limit) {
    if (fd_ < 0)
        return IoStatus::NotOpen;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int r = ::poll(p, 2, remainingMs(deadline));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            setError("poll", errno);
            return IoStatus::Failed;
        }
        if (p[1].revents & POLLIN) {
            drainPipe(wakeRead_);
            return IoStatus::Woken;
        }
        // A hung-up device also reports POLLIN (a read would fail at once).
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            setError("poll", EIO);
            return IoStatus::DeviceLost;
        }
        if (p[0].revents & POLLIN)
            return IoStatus::Ok;
        if (r == 0 || remainingMs(deadline) <= 0)
            return IoStatus::TimedOut;
    }
}

IoResult PosixSerialPort::read(std::span<std::uint8_t> buffer) {
    if (fd_ < 0)
        return {IoStatus::NotOpen, 0};
    if (buffer.empty())
        return {IoStatus::Ok, 0};
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n > 0)
            return {IoStatus::Ok, static_cast<std::size_t>(n)};
        if (n == 0) {
            // With VMIN = VTIME = 0 the terminal answers 0 when nothing is
            // queued, non-blocking or not: only a hang-up makes it end of file.
            pollfd p{fd_, POLLIN, 0};
            int r;
            do {
                r = ::poll(&p, 1, 0);
            } while (r < 0 && errno == EINTR);
            if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                setError("read", EIO);
                return {IoStatus::DeviceLost, 0};
            }
            return {IoStatus::Ok, 0};
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {IoStatus::Ok, 0};
        const int err = errno;
        setError("read", err);
        return {isDeviceGone(err) ? IoStatus::DeviceLost : IoStatus::Failed, 0};
    }
}

void PosixSerialPort::wake() {
    if (wakeWrite_ >= 0) {
        const char b = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &b, 1);
    }
}

void PosixSerialPort::drain() {
    if (fd_ >= 0)
        retryEintr([&] { return ::tcdrain(fd_); });
}

void PosixSerialPort::purgeOutput() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCOFLUSH);
}

void PosixSerialPort::purgeAll() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCIOFLUSH);
}

std::optional<AppliedSettings> PosixSerialPort::appliedSettings() const {
    return applied_;
}

std::unique_ptr<SerialPort> makeSystemSerialPort() {
    return std::make_unique<PosixSerialPort>();
}

} // namespace pj::link

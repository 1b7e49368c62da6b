#include "link/posix/linespeed.h"

// The kernel's own termios2 layout; <termios.h> must not be seen here, its
// struct termios is another one.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace pj::link::posix {

namespace {
int ioctlRetry(int fd, unsigned long request, termios2* t) {
    for (;;) {
        if (::ioctl(fd, request, t) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}
} // namespace

int setSpeedByNumber(int fd, std::uint32_t baud) {
    if (baud == 0)
        return EINVAL;
    termios2 t{};
    if (const int err = ioctlRetry(fd, TCGETS2, &t))
        return err;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (const int err = ioctlRetry(fd, TCSETS2, &t))
        return err;
    // A driver sets the nearest speed its clock can make and reports it back.
    termios2 back{};
    if (const int err = ioctlRetry(fd, TCGETS2, &back))
        return err;
    const std::uint64_t got = back.c_ospeed;
    const std::uint64_t want = baud;
    const std::uint64_t off = got > want ? got - want : want - got;
    if (off * 100 > want * 3)
        return EINVAL;
    return 0;
}

std::uint32_t lineSpeed(int fd) {
    termios2 t{};
    if (ioctlRetry(fd, TCGETS2, &t) != 0)
        return 0;
    return t.c_ospeed;
}

} // namespace pj::link::posix

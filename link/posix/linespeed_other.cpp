#include "link/posix/linespeed.h"

#include <cerrno>
#include <termios.h>

namespace pj::link::posix {

// Without termios2 only the speeds with a B constant exist.
int setSpeedByNumber(int, std::uint32_t) {
    return EINVAL;
}

std::uint32_t lineSpeed(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return 0;
    struct Row {
        speed_t code;
        std::uint32_t baud;
    };
    static constexpr Row kSpeeds[] = {
        {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},     {B150, 150},
        {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},   {B1800, 1800},
        {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200}, {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
    };
    const speed_t code = ::cfgetospeed(&t);
    for (const auto& row : kSpeeds) {
        if (row.code == code)
            return row.baud;
    }
    return 0;
}

} // namespace pj::link::posix

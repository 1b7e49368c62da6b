#include "sim/pty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

SimulatorPty openSimulatorPty(const std::string& linkPath, std::string& error) {
    const int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) {
        error = errnoText("posix_openpt");
        return {};
    }
    const char* name = nullptr;
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || !(name = ::ptsname(m))) {
        error = errnoText("ptsname");
        ::close(m);
        return {};
    }
    // A quiet raw line until the client sets its own.
    termios t{};
    if (::tcgetattr(m, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_lflag |= EXTPROC;
        ::tcsetattr(m, TCSANOW, &t);
    }
    int one = 1;
    ::ioctl(m, TIOCPKT, &one);
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    if (!linkPath.empty()) {
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = "路径已存在且不是符号链接: " + linkPath;
                ::close(m);
                return {};
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            error = errnoText("无法创建符号链接 " + linkPath);
            ::close(m);
            return {};
        }
    }
    return {m, name};
}

void closeSimulatorPty(SimulatorPty& pty, const std::string& linkPath) {
    if (pty.master >= 0)
        ::close(pty.master);
    pty.master = -1;
    if (!linkPath.empty() && !pty.slavePath.empty()) {
        char target[512];
        const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == pty.slavePath)
            ::unlink(linkPath.c_str());
    }
}

} // namespace pj::sim

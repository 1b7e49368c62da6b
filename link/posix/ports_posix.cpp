#include "link/serialport.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace pj::link {

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool isSerialName(std::string_view name) {
    for (std::string_view prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        if (startsWith(name, prefix) && name.size() > prefix.size())
            return true;
    }
    return false;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

#ifdef __linux__
// A legacy 8250 node with no UART behind it reports the type PORT_UNKNOWN.
bool hasUart(const std::string& devPath) {
    const int fd = ::open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool known = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
}
#endif

} // namespace

std::vector<std::string> availablePorts(std::span<const std::string> extra) {
    std::vector<std::string> found;
#ifdef __linux__
    if (DIR* dir = ::opendir("/sys/class/tty")) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (!isSerialName(name))
                continue;
            // Virtual terminals have no device link; real ports do.
            if (!pathExists("/sys/class/tty/" + name + "/device"))
                continue;
            const std::string dev = "/dev/" + name;
            if (!pathExists(dev))
                continue;
            if (startsWith(name, "ttyS") && !hasUart(dev))
                continue;
            found.push_back(dev);
        }
        ::closedir(dir);
    }
#else
    if (DIR* dir = ::opendir("/dev")) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (startsWith(name, "cu.") || startsWith(name, "ttyU"))
                found.push_back("/dev/" + name);
        }
        ::closedir(dir);
    }
#endif
    std::sort(found.begin(), found.end(), naturalLess);
    for (const auto& name : extra) {
        if (name.empty())
            continue;
        if (std::find(found.begin(), found.end(), name) == found.end())
            found.push_back(name);
    }
    return found;
}

namespace {
constexpr std::string_view kDevDir = "/dev/";
} // namespace

std::string portShortName(const std::string& port) {
    if (port.size() > kDevDir.size() && port.starts_with(kDevDir))
        return port.substr(kDevDir.size());
    return port;
}

std::string portFromShortName(const std::string& text) {
    if (text.empty() || text.starts_with('/') || text.starts_with('.'))
        return text;
    return std::string(kDevDir) + text;
}

} // namespace pj::link

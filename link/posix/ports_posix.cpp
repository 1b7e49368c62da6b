#include "link/serialport.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

std::string groupName(gid_t gid) {
    std::vector<char> buf(16384);
    group g{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &g, buf.data(), buf.size(), &found) != 0 || !found)
        return std::to_string(gid);
    return found->gr_name;
}

std::string userName(uid_t uid) {
    std::vector<char> buf(16384);
    passwd p{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &p, buf.data(), buf.size(), &found) != 0 || !found)
        return std::to_string(uid);
    return found->pw_name;
}

// The account database lists the user in the group (as a member or as the
// primary group), whether or not this login has taken it up yet.
bool userListedIn(gid_t gid) {
    std::vector<char> pbuf(16384);
    passwd p{};
    passwd* me = nullptr;
    if (::getpwuid_r(::getuid(), &p, pbuf.data(), pbuf.size(), &me) != 0 || !me)
        return false;
    if (me->pw_gid == gid)
        return true;
    std::vector<char> gbuf(16384);
    group g{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &g, gbuf.data(), gbuf.size(), &found) != 0 || !found)
        return false;
    for (char** m = found->gr_mem; m && *m; ++m) {
        if (std::string_view(*m) == me->pw_name)
            return true;
    }
    return false;
}

// This process runs with the group (it takes effect at the next login).
bool processHasGroup(gid_t gid) {
    if (::getgid() == gid || ::getegid() == gid)
        return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(n));
    const int got = ::getgroups(n, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}
} // namespace

std::string permissionHelp(const std::string& port) {
    struct stat st {};
    if (::stat(port.c_str(), &st) != 0)
        return {};
    const std::string group = groupName(st.st_gid);
    const bool groupReadWrite = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (groupReadWrite && st.st_gid != 0) {
        if (userListedIn(st.st_gid) && !processHasGroup(st.st_gid))
            return "当前用户已在 " + group + " 组中，注销并重新登录后才生效";
        return "请把当前用户加入拥有该设备的 " + group + " 组：sudo usermod -aG " + group +
               " $USER，然后注销并重新登录";
    }
    // The group may not read and write the device: the device itself has to
    // be given to the serial ports' usual group first.
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("该设备的权限为 ") + mode + "（属主 " + userName(st.st_uid) + "，组 " +
           group +
           "）。串口通常归 dialout 组：请让管理员允许 dialout 组读写该设备，再执行 sudo "
           "usermod -aG dialout $USER，然后注销并重新登录";
}

std::string portHolder(const std::string& port) {
#ifdef __linux__
    // Which process has the device open: its descriptors in /proc name it.
    // Processes of other users stay hidden unless we may look at them.
    char resolved[PATH_MAX];
    if (!::realpath(port.c_str(), resolved))
        return {};
    const std::string device = resolved;
    const std::string self = std::to_string(::getpid());
    std::string holders;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return {};
    while (const dirent* p = ::readdir(proc)) {
        const std::string pid = p->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds)
            continue;
        bool holds = false;
        while (const dirent* f = ::readdir(fds)) {
            char target[PATH_MAX];
            const std::string link = fdDir + "/" + f->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == device) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (!holds)
            continue;
        std::string name;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::getline(comm, name);
        if (!holders.empty())
            holders += "、";
        holders += (name.empty() ? std::string("?") : name) + "（PID " + pid + "）";
    }
    ::closedir(proc);
    return holders;
#else
    (void)port;
    return {};
#endif
}

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

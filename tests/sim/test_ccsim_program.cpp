// The ccsim program driven through its standard input as a Simulator on
// Windows drives it (commands appended, events read from its log).
#include "sim/event.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace pj::sim;
using namespace std::chrono_literals;

namespace {

class Ccsim {
public:
    explicit Ccsim(const std::string& dir)
        : link_(dir + "/port")
        , log_(dir + "/events.jsonl") {
        const std::string cmd = std::string(PJ_CCSIM_PATH) + " --answer 0x11 --link '" + link_ +
                                "' --log '" + log_ + "' >/dev/null 2>&1";
        pipe_ = ::popen(cmd.c_str(), "w");
    }
    ~Ccsim() {
        if (pipe_) {
            send("quit");
            ::pclose(pipe_);
        }
    }
    bool running() const { return pipe_ != nullptr; }
    void send(const std::string& command) {
        std::fputs((command + "\n").c_str(), pipe_);
        std::fflush(pipe_);
    }
    const std::string& link() const { return link_; }

    // The events of its log so far.
    std::vector<Event> events() const {
        std::vector<Event> out;
        std::ifstream f(log_);
        for (std::string line; std::getline(f, line);)
            if (auto e = Event::fromJson(line))
                out.push_back(*e);
        return out;
    }
    // The n-th event of `kind` (counted from 0), waited for.
    std::optional<Event> waitFor(const std::string& kind, std::size_t n = 0) const {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end) {
            std::size_t seen = 0;
            for (const auto& e : events())
                if (e.kind() == kind && seen++ == n)
                    return e;
            std::this_thread::sleep_for(20ms);
        }
        return std::nullopt;
    }

private:
    std::string link_;
    std::string log_;
    std::FILE* pipe_ = nullptr;
};

// What a client at `speed` gets back for `bytes` within half a second.
std::vector<std::uint8_t> exchange(const std::string& path, speed_t speed,
                                   std::vector<std::uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
    std::this_thread::sleep_for(50ms); // the simulator sees the new speed first
    std::vector<std::uint8_t> out;
    if (::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
        const auto end = std::chrono::steady_clock::now() + 500ms;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            std::uint8_t buf[64];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                out.insert(out.end(), buf, buf + n);
        }
    }
    ::close(fd);
    return out;
}

} // namespace

TEST(CcsimProgram, ResetGivesAControllerWithTheNewSettingsOnTheSameLink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Ccsim sim(dir.path().toStdString());
    ASSERT_TRUE(sim.running());
    const auto first = sim.waitFor("ready");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text("answer"), "0x11");

    sim.send("reset answer=0x09 machine-type=-1 probes=all min-gap-ms=300");
    const auto second = sim.waitFor("ready", 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->text("answer"), "0x09");
    EXPECT_EQ(second->number("edition"), 2009);
    EXPECT_EQ(second->number("baud"), 19200);
    EXPECT_EQ(second->text("port"), sim.link());
    EXPECT_EQ(exchange(sim.link(), B19200, {0xAA}), (std::vector<std::uint8_t>{0xAA, 0x09}));

    // Words it does not know change nothing: the controller stays as it is.
    sim.send("reset answer=0x1ff");
    sim.send("reset colour=blue");
    sim.send("press 3"); // commands are taken in order: the two above are done by then
    ASSERT_TRUE(sim.waitFor("press"));
    std::size_t readies = 0;
    for (const auto& e : sim.events())
        readies += e.kind() == "ready";
    EXPECT_EQ(readies, 2u);
    EXPECT_EQ(exchange(sim.link(), B19200, {0xAA}), (std::vector<std::uint8_t>{0xAA, 0x09}));
}
